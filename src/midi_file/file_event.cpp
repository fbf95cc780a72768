#include "midi_file/file_event.hpp"

#include "hashing.hpp"

namespace midifile {

// Every payload type must implement the interface; checked here once for all of them.
static_assert([]<class... Ps>(std::variant<Ps...>*) {
    return (MIDIFileEventPayload<Ps> && ...);
}(static_cast<MIDIFileEvent::Payload*>(nullptr)));

namespace {

// Whether P is one of the records a core event can hold.
template <class P>
constexpr bool isCoreRecord = []<class... Ps>(std::variant<Ps...>*) {
    return (std::is_same_v<P, Ps> || ...);
}(static_cast<midicore::MIDIEvent::Payload*>(nullptr));

}  // namespace

size_t eventCaseIndex(MIDIFileEventType type) {
    switch (type) {
        case MIDIFileEventType::universalSysEx7:
            return 16;
        case MIDIFileEventType::tempo:
            return 17;
        case MIDIFileEventType::text:
            return 18;
        case MIDIFileEventType::timeSignature:
            return 19;
        default:
            return static_cast<size_t>(type);
    }
}

MIDIFileEventType MIDIFileEvent::eventType() const {
    return std::visit([](const auto& payload) { return smfEventType<std::decay_t<decltype(payload)>>(); },
                      payload_);
}

std::optional<midicore::MIDIEvent> MIDIFileEvent::midiEvent() const {
    return std::visit(
        []<class P>(const P& payload) -> std::optional<midicore::MIDIEvent> {
            if constexpr (isCoreRecord<P>) {
                return midicore::MIDIEvent(payload);
            } else {
                return std::nullopt;
            }
        },
        payload_);
}

std::optional<MIDIFileEvent> smfEvent(const midicore::MIDIEvent& event, DeltaTime delta) {
    return event.visit([&]<class P>(const P& payload) -> std::optional<MIDIFileEvent> {
        if constexpr (MIDIFileEvent::holds<P>) {
            return MIDIFileEvent(delta, payload);
        } else {
            return std::nullopt;
        }
    });
}

std::vector<uint8_t> MIDIFileEvent::smfRawBytes() const {
    return std::visit([](const auto& payload) { return midifile::smfRawBytes(payload); }, payload_);
}

std::string MIDIFileEvent::description() const {
    return std::visit([](const auto& payload) { return payloadDescription(payload); }, payload_);
}

std::string MIDIFileEvent::debugDescription() const {
    return std::visit([](const auto& payload) { return payloadDebugDescription(payload); },
                      payload_);
}

size_t MIDIFileEvent::hash() const {
    detail::Hasher hasher;
    hasher.combine(eventCaseIndex(eventType())).combine(delta_);
    std::visit([&](const auto& payload) { hasher.combine(payload); }, payload_);
    return hasher.value();
}

}  // namespace midifile
