// The decoders of the two roles: a surface reads what a host sends as HUIHostEvent values, a host
// reads what a surface sends as HUISurfaceEvent values. Each wraps one core decoder of the
// sender's role and converts every core event it yields; a core event the role's vocabulary has
// no case for arrives as `ping`.
#pragma once

#include <concepts>
#include <functional>
#include <memory>

#include "hui/core_decoder.hpp"
#include "hui/events.hpp"
#include "midi_core/event_interfaces.hpp"

namespace hui {

template <class Event>
class HUIEventDecoder : public midicore::ReceivesMIDIEvents {
  public:
    using EventType = Event;
    using EventHandler = std::function<void(const Event&)>;

    // The role of the side whose messages this decoder reads.
    static constexpr HUIRole senderRole =
        std::is_same_v<Event, HUIHostEvent> ? HUIRole::host : HUIRole::surface;

    HUIEventDecoder();
    // The core decoder stops delivering once its wrapper is gone, wherever else it is held.
    ~HUIEventDecoder() override = default;
    HUIEventDecoder(const HUIEventDecoder&) = delete;
    HUIEventDecoder& operator=(const HUIEventDecoder&) = delete;

    // Read afresh for every event: a new handler takes effect at the next event.
    const EventHandler& eventHandler() const { return link_->handler; }
    void setEventHandler(EventHandler handler) { link_->handler = std::move(handler); }
    const std::shared_ptr<HUICoreDecoder>& decoder() const { return decoder_; }

    // Decodes and converts the event, then calls the handler once per result before returning.
    // Decoder errors are dropped.
    void midiIn(const midicore::MIDIEvent& event) override { decoder_->midiIn(event); }
    using ReceivesMIDIEvents::midiIn;

    // The decoding state of a new decoder; the handler stays.
    void reset() { decoder_->reset(); }

    // The role's event for a core event.
    static Event convert(const HUICoreEvent& event);

  private:
    struct Link {
        EventHandler handler;
    };
    std::shared_ptr<Link> link_;
    std::shared_ptr<HUICoreDecoder> decoder_;
};

using HUIHostEventDecoder = HUIEventDecoder<HUIHostEvent>;
using HUISurfaceEventDecoder = HUIEventDecoder<HUISurfaceEvent>;
template <>
HUIHostEvent HUIEventDecoder<HUIHostEvent>::convert(const HUICoreEvent& event);
template <>
HUISurfaceEvent HUIEventDecoder<HUISurfaceEvent>::convert(const HUICoreEvent& event);
extern template class HUIEventDecoder<HUIHostEvent>;
extern template class HUIEventDecoder<HUISurfaceEvent>;

// A role decoder: a receiver of MIDI with an event handler of its event type and a reset.
template <class D>
concept HUIDecoder = std::derived_from<D, midicore::ReceivesMIDIEvents> &&
    std::derived_from<typename D::EventType, HUIEvent> && std::default_initializable<D> &&
    requires(D& decoder, typename D::EventHandler handler) {
    decoder.setEventHandler(handler);
    decoder.eventHandler();
    decoder.reset();
};

}  // namespace hui
