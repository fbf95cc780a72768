// The decoder shared by both roles: it turns the MIDI events received from the other side of a
// link into core events, keeping the little state the protocol needs between messages (the last
// fader MSB of each strip and a pending switch zone select).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "hui/event_payloads.hpp"
#include "hui/protocol.hpp"
#include "midi_core/event_interfaces.hpp"
#include "midi_core/midi_event.hpp"

namespace hui {

// What the decoder reads from the other side.
class HUICoreEvent
    : public detail::SharedEventCases<HUICoreEvent>,
      public detail::EventUnion<
          eventpayloads::LevelMeter, eventpayloads::FaderLevel, eventpayloads::VPot,
          eventpayloads::LargeDisplay, eventpayloads::TimeDisplay,
          eventpayloads::SelectAssignDisplay, eventpayloads::ChannelDisplay, eventpayloads::Switch,
          eventpayloads::JogWheel, eventpayloads::Ping, eventpayloads::SystemReset> {
  public:
    enum class Case : std::uint8_t {
        levelMeter,
        faderLevel,
        vPot,
        largeDisplay,
        timeDisplay,
        selectAssignDisplay,
        channelDisplay,
        switch_,
        jogWheel,
        ping,
        systemReset
    };

    using VPot = eventpayloads::VPot;
    using LargeDisplay = eventpayloads::LargeDisplay;
    using TimeDisplay = eventpayloads::TimeDisplay;
    using SelectAssignDisplay = eventpayloads::SelectAssignDisplay;
    using ChannelDisplay = eventpayloads::ChannelDisplay;
    using JogWheel = eventpayloads::JogWheel;
    using SystemReset = eventpayloads::SystemReset;

    template <class P>
    requires std::is_constructible_v<Payload, P&&> HUICoreEvent(P&& payload)
        : EventUnion(std::forward<P>(payload)) {}

    static HUICoreEvent vPot(HUIVPot vPot, HUIVPotValue value) { return VPot{vPot, value}; }

    Case eventCase() const { return static_cast<Case>(caseIndex()); }
};

// A message the decoder refuses: `malformed` breaks the protocol, `unhandled` is well formed but
// not acceptable from this sender. what() is the sentence saying why.
class HUIDecoderError : public std::runtime_error {
  public:
    enum class Case : std::uint8_t { malformed, unhandled };

    static HUIDecoderError malformed(const std::string& message) {
        return HUIDecoderError(Case::malformed, message);
    }
    static HUIDecoderError unhandled(const std::string& message) {
        return HUIDecoderError(Case::unhandled, message);
    }

    Case errorCase() const { return case_; }

  private:
    HUIDecoderError(Case errorCase, const std::string& message)
        : std::runtime_error(message), case_(errorCase) {}
    Case case_;
};

class HUICoreDecoder : public midicore::ReceivesMIDIEvents {
  public:
    using EventHandler = std::function<void(const HUICoreEvent&)>;

    // The wire constants, by their names on the decoder.
    static constexpr auto sysExManufacturer = protocol::sysExManufacturer;
    static constexpr auto sysExSubID1 = protocol::sysExSubID1;
    static constexpr auto sysExSubID2 = protocol::sysExSubID2;
    static constexpr auto smallDisplayType = protocol::smallDisplayType;
    static constexpr auto timeDisplayType = protocol::timeDisplayType;
    static constexpr auto largeDisplayType = protocol::largeDisplayType;
    static const midicore::MIDIEvent& hostPing() { return protocol::hostPing(); }
    static const midicore::MIDIEvent& surfacePingReply() { return protocol::surfacePingReply(); }
    static const midicore::MIDIEvent& systemResetEvent() { return protocol::systemResetEvent(); }

    // A decoder of the messages that a side of role `role` sends.
    explicit HUICoreDecoder(HUIRole role, EventHandler handler = nullptr)
        : role_(role), handler_(std::move(handler)) {}

    HUIRole role() const { return role_; }
    // The last fader MSB of each strip.
    const std::array<std::uint8_t, protocol::stripCount>& faderMSB() const { return faderMSB_; }
    // The zone waiting for its port message.
    std::optional<std::uint8_t> switchesZoneSelect() const { return zoneSelect_; }

    const EventHandler& huiEventHandler() const { return handler_; }
    void setHUIEventHandler(EventHandler handler) { handler_ = std::move(handler); }

    // Decodes one received event into zero or more core events, in delivery order. Throws
    // HUIDecoderError for a message that breaks the protocol or that this sender may not send;
    // a display message that fails in any group gives none of its events. Events the protocol
    // does not use give none.
    std::vector<HUICoreEvent> decode(const midicore::MIDIEvent& event);

    // Decodes the event and hands each result to the handler; errors are dropped.
    void midiIn(const midicore::MIDIEvent& event) override;
    using ReceivesMIDIEvents::midiIn;

    // Back to the state of a new decoder: MSBs 0, no zone pending. The handler stays.
    void reset();

  private:
    std::optional<HUICoreEvent> decodeControlChange(const midicore::MIDIEvent& event,
                                                    std::uint8_t controller, std::uint8_t value);
    std::vector<HUICoreEvent> decodeSysEx(const midicore::MIDIEvent::SysEx7& sysEx) const;

    HUIRole role_;
    std::array<std::uint8_t, protocol::stripCount> faderMSB_{};
    std::optional<std::uint8_t> zoneSelect_;
    EventHandler handler_;
};

}  // namespace hui
