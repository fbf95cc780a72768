#include "hui/role_decoders.hpp"

namespace hui {

namespace {

namespace p = eventpayloads;

// Payloads both vocabularies carry unchanged.
template <class P>
concept Shared =
    std::same_as<P, p::LevelMeter> || std::same_as<P, p::FaderLevel> || std::same_as<P, p::Switch>;

}  // namespace

template <>
HUIHostEvent HUIEventDecoder<HUIHostEvent>::convert(const HUICoreEvent& event) {
    return event.visit([](const auto& e) -> HUIHostEvent {
        using P = std::decay_t<decltype(e)>;
        if constexpr (Shared<P> || std::same_as<P, p::LargeDisplay> ||
                      std::same_as<P, p::TimeDisplay> || std::same_as<P, p::SelectAssignDisplay> ||
                      std::same_as<P, p::ChannelDisplay>) {
            return e;
        } else if constexpr (std::same_as<P, p::VPot>) {
            if (const auto display = e.value.displayValue())
                return HUIHostEvent::vPot(e.vPot, *display);
            return HUIHostEvent::ping();
        } else {
            return HUIHostEvent::ping();
        }
    });
}

template <>
HUISurfaceEvent HUIEventDecoder<HUISurfaceEvent>::convert(const HUICoreEvent& event) {
    return event.visit([](const auto& e) -> HUISurfaceEvent {
        using P = std::decay_t<decltype(e)>;
        if constexpr (Shared<P> || std::same_as<P, p::JogWheel> ||
                      std::same_as<P, p::SystemReset>) {
            return e;
        } else if constexpr (std::same_as<P, p::VPot>) {
            if (const auto delta = e.value.deltaValue())
                return HUISurfaceEvent::vPot(e.vPot, *delta);
            return HUISurfaceEvent::ping();
        } else {
            return HUISurfaceEvent::ping();
        }
    });
}

template <class Event>
HUIEventDecoder<Event>::HUIEventDecoder()
    : link_(std::make_shared<Link>()), decoder_(std::make_shared<HUICoreDecoder>(senderRole)) {
    decoder_->setHUIEventHandler([weak = std::weak_ptr<Link>(link_)](const HUICoreEvent& event) {
        const auto link = weak.lock();
        if (!link || !link->handler) return;
        link->handler(convert(event));
    });
}

template class HUIEventDecoder<HUIHostEvent>;
template class HUIEventDecoder<HUISurfaceEvent>;

static_assert(HUIDecoder<HUIHostEventDecoder> && HUIDecoder<HUISurfaceEventDecoder>);

}  // namespace hui
