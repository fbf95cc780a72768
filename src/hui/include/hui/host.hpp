// The host role: the workstation side of a link. An HUIHost keeps banks, one per remote surface
// of eight strips, and pings every bank once a second. A bank decodes what its surface sends into
// HUISurfaceEvent values, tracks whether the surface answers the ping, and sends every
// host-to-surface message.
//
// Neither owns a MIDI port: a bank's output goes to its MIDI-out handler (SendsMIDIEvents) and its
// input comes through midiIn (ReceivesMIDIEvents). midiIn must be called from one thread at a
// time; everything else may be called from any thread. The ping and the presence timers run on
// the environment's timer queue; presence changes are announced on the calling thread (present)
// or the timer's (absent), and to `objectWillChange()` observers on the notice queue.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "hui/detail/remote_presence.hpp"
#include "hui/events.hpp"
#include "hui/role_decoders.hpp"
#include "midi_core/event_interfaces.hpp"

namespace hui {

class HUIHostBank : public detail::HUIRolePeer {
  public:
    using HUIEventHandler = std::function<void(const HUISurfaceEvent& event)>;

    // Handlers may be empty: what they would receive is dropped. The surface counts as absent
    // until its first ping reply.
    explicit HUIHostBank(HUIEventHandler huiEventHandler = nullptr,
                         MIDIOutHandler midiOutHandler = nullptr,
                         RemotePresenceChangedHandler remotePresenceChangedHandler = nullptr,
                         const HUIRoleEnvironment& environment = {});
    // Stops the presence timer first, waiting for a presence handler under way on another thread.
    ~HUIHostBank() override;
    HUIHostBank(const HUIHostBank&) = delete;
    HUIHostBank& operator=(const HUIHostBank&) = delete;

    // midiIn: MIDI from the surface, decoded; a ping reply marks the surface present, and every
    // event goes to the event handler. Messages the decoder refuses are dropped.
    using HUIRolePeer::midiIn;

    HUIEventHandler huiEventHandler() const;
    void setHUIEventHandler(HUIEventHandler handler);
    // Host to surface; each sends at once on the calling thread.
    void transmitPing();
    void transmitSwitch(const HUISwitch& huiSwitch, bool state);
    void transmitFader(midicore::UInt14 level, midicore::UInt4 channel);
    void transmitLevelMeter(midicore::UInt4 channel, surfacemodel::StereoLevelMeter::Side side,
                            std::int64_t level);
    void transmitVPot(const HUIVPot& vPot, const HUIVPotDisplay& display);
    // The eight slices of the two lines, in one call of the handler.
    void transmitLargeDisplay(const HUILargeDisplayString& top,
                              const HUILargeDisplayString& bottom);
    // One message per slice in ascending slice number, in one call of the handler (an empty
    // batch for no slices).
    void transmitLargeDisplay(const surfacemodel::LargeDisplay::Slices& slices);
    // The string's characters sent rightmost first.
    void transmitTimeDisplay(const HUITimeDisplayString& leftToRight);
    // At most the first eight characters.
    void transmitTimeDisplay(const std::vector<HUITimeDisplayCharacter>& rightToLeft);
    void transmitSmallDisplay(const HUISmallDisplay& display, const HUISmallDisplayString& text);

  private:
    void receive(const midicore::MIDIEvent& event) override;
    void handle(const HUISurfaceEvent& event);

    mutable std::mutex mutex_;
    HUIEventHandler huiEventHandler_;
    HUISurfaceEventDecoder decoder_;
};

class HUIHost {
  public:
    // Starts pinging at once, then every second.
    explicit HUIHost(const HUIRoleEnvironment& environment = {});
    // Stops the ping timer first: no ping is sent once this returns.
    ~HUIHost();
    HUIHost(const HUIHost&) = delete;
    HUIHost& operator=(const HUIHost&) = delete;

    // The banks in the order they were added.
    std::vector<std::shared_ptr<HUIHostBank>> banks() const;
    // A new bank with these handlers, appended to the banks. A bank removed from the list keeps
    // working for whoever holds it, but is no longer pinged.
    std::shared_ptr<HUIHostBank> addBank(
        HUIHostBank::HUIEventHandler huiEventHandler = nullptr,
        HUIHostBank::MIDIOutHandler midiOutHandler = nullptr,
        HUIHostBank::RemotePresenceChangedHandler remotePresenceChangedHandler = nullptr);
    // Does nothing for an index outside the list.
    void removeBank(std::ptrdiff_t index);
    void removeAllBanks();

  private:
    void ping();

    const HUIRoleEnvironment environment_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<HUIHostBank>> banks_;
    std::unique_ptr<midisupport::SafeDispatchTimer> pingTimer_;
};

}  // namespace hui
