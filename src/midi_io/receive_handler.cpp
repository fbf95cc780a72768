#include "midi_io/receive_handler.hpp"

#include <algorithm>

#include "midi_core/event_filter.hpp"
#include "midi_support/number_text.hpp"
#include "midi_support/strings.hpp"

namespace midiio {

using midicore::MIDIEvent;

std::shared_ptr<MIDIReceiveHandler> MIDIReceiver::makeReceiveHandler() const {
    std::unique_ptr<MIDIReceiveHandlerProtocol> strategy = std::visit(
        [](const auto& c) -> std::unique_ptr<MIDIReceiveHandlerProtocol> {
            using C = std::decay_t<decltype(c)>;
            if constexpr (std::is_same_v<C, Group>) {
                std::vector<std::shared_ptr<MIDIReceiveHandler>> members;
                members.reserve(c.receivers.size());
                for (const MIDIReceiver& r : c.receivers) members.push_back(r.makeReceiveHandler());
                return std::make_unique<MIDIReceiveHandler::Group>(std::move(members));
            } else if constexpr (std::is_same_v<C, Events>) {
                return std::make_unique<MIDIReceiveHandler::Events>(
                    c.translateMIDI1NoteOnZeroVelocityToNoteOff, c.handler);
            } else if constexpr (std::is_same_v<C, EventsWithMetadata>) {
                return std::make_unique<MIDIReceiveHandler::EventsWithMetadata>(
                    c.translateMIDI1NoteOnZeroVelocityToNoteOff, c.handler);
            } else if constexpr (std::is_same_v<C, EventsLogging>) {
                return std::make_unique<MIDIReceiveHandler::EventsLogging>(
                    c.filterActiveSensingAndClock, c.handler);
            } else if constexpr (std::is_same_v<C, RawData>) {
                return std::make_unique<MIDIReceiveHandler::RawData>(c.handler);
            } else if constexpr (std::is_same_v<C, RawDataLogging>) {
                return std::make_unique<MIDIReceiveHandler::RawDataLogging>(
                    c.filterActiveSensingAndClock, c.handler);
            } else {
                static_assert(std::is_same_v<C, Object>);
                if (c.held == ReceiverRefStorage::strongly) {
                    return std::make_unique<MIDIReceiveHandler::StrongEventsReceiver>(
                        c.strong, c.translateMIDI1NoteOnZeroVelocityToNoteOff);
                }
                return std::make_unique<MIDIReceiveHandler::WeakEventsReceiver>(
                    c.weak, c.translateMIDI1NoteOnZeroVelocityToNoteOff);
            }
        },
        value_);
    return std::make_shared<MIDIReceiveHandler>(std::move(strategy));
}

// ---- Parsers

MIDIReceiveHandler::Parsers::Entry& MIDIReceiveHandler::Parsers::entryFor(
    const std::optional<MIDIOutputEndpoint>& source) {
    const std::optional<int32_t> key =
        source ? std::optional<int32_t>(source->uniqueID) : std::nullopt;
    // Packets mostly come from the source of the packet before.
    if (last_ < entries_.size() && entries_[last_]->source == key) return *entries_[last_];
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i]->source == key) {
            last_ = i;
            return *entries_[i];
        }
    }
    auto entry = std::make_unique<Entry>();
    entry->source = key;
    entry->midi1.setTranslateNoteOnZeroVelocityToNoteOff(translate_);
    entries_.push_back(std::move(entry));
    last_ = entries_.size() - 1;
    return *entries_.back();
}

void MIDIReceiveHandler::Parsers::release(const std::vector<int32_t>& uniqueIDs) {
    std::erase_if(entries_, [&](const std::unique_ptr<Entry>& entry) {
        return entry->source &&
               std::find(uniqueIDs.begin(), uniqueIDs.end(), *entry->source) != uniqueIDs.end();
    });
    last_ = 0;
}

void MIDIReceiveHandler::Parsers::parse(const MIDIPacketData& packet, std::vector<MIDIEvent>& events) {
    // Every stream of the MIDI 1.0 byte interface is group 0.
    entryFor(packet.source).midi1.parse(packet.bytes, midicore::UInt4(0), events);
}

void MIDIReceiveHandler::Parsers::parse(const UniversalMIDIPacketData& packet,
                                        std::vector<MIDIEvent>& events) {
    entryFor(packet.source).midi2.parse(packet.bytes, events);
}

// ---- Strategies that parse

template <class Records>
void MIDIReceiveHandler::ParsingStrategy::receive(const Records& records) {
    // The array is reused from record to record and from call to call; a callback that calls
    // back into this strategy gets an array of its own.
    std::vector<MIDIEvent> events = std::move(events_);
    for (const auto& record : records) {
        events.clear();
        parsers_.parse(record, events);
        if (!events.empty()) deliver(events, record.timeStamp, record.source);
    }
    events.clear();
    events_ = std::move(events);
}

void MIDIReceiveHandler::ParsingStrategy::packetListReceived(const std::vector<MIDIPacketData>& packets) {
    receive(packets);
}

void MIDIReceiveHandler::ParsingStrategy::eventListReceived(
    const std::vector<UniversalMIDIPacketData>& packets, midicore::MIDIProtocolVersion) {
    receive(packets);
}

namespace {

// " timeStamp:123" and, with a source, " source:" and its quoted display name.
std::string metadataText(uint64_t timeStamp, const std::optional<MIDIOutputEndpoint>& source) {
    std::string text = " timeStamp:" + std::to_string(timeStamp);
    if (source) text += " source:" + midisupport::quoted(source->displayName);
    return text;
}

}  // namespace

void MIDIReceiveHandler::EventsLogging::deliver(const std::vector<MIDIEvent>& events,
                                                uint64_t timeStamp,
                                                const std::optional<MIDIOutputEndpoint>& source) {
    using RealTime = MIDIEvent::SysRealTimeType;
    static const auto clockAndSensing =
        MIDIEvent::SysRealTimeTypes::dropTypes({RealTime::activeSensing, RealTime::timingClock});
    const std::vector<MIDIEvent> shown = filter_ ? midicore::filter(events, clockAndSensing) : events;
    std::string line;
    for (const MIDIEvent& event : shown) {
        if (!line.empty()) line += ", ";
        line += event.description();
    }
    line += metadataText(timeStamp, source);
    if (handler_) handler_(line);
}

// ---- Strategies that do not parse

void MIDIReceiveHandler::Group::packetListReceived(const std::vector<MIDIPacketData>& packets) {
    for (const auto& handler : receiveHandlers_) handler->packetListReceived(packets);
}

void MIDIReceiveHandler::Group::eventListReceived(const std::vector<UniversalMIDIPacketData>& packets,
                                                  midicore::MIDIProtocolVersion protocol) {
    for (const auto& handler : receiveHandlers_) handler->eventListReceived(packets, protocol);
}

void MIDIReceiveHandler::RawData::packetListReceived(const std::vector<MIDIPacketData>& packets) {
    if (!handler_) return;
    for (const auto& packet : packets) handler_(AnyMIDIPacket::packet(packet));
}

void MIDIReceiveHandler::RawData::eventListReceived(const std::vector<UniversalMIDIPacketData>& packets,
                                                    midicore::MIDIProtocolVersion) {
    if (!handler_) return;
    for (const auto& packet : packets) handler_(AnyMIDIPacket::universalPacket(packet));
}

template <class Records>
void MIDIReceiveHandler::RawDataLogging::log(const Records& records) {
    for (const auto& record : records) {
        const auto& bytes = record.bytes;
        if (filter_ && !bytes.empty() && (bytes[0] == 0xF8 || bytes[0] == 0xFE)) continue;
        std::string line = midisupport::hexString(bytes, 2, false, " ");
        line += metadataText(record.timeStamp, record.source);
        if (handler_) handler_(line);
    }
}

void MIDIReceiveHandler::RawDataLogging::packetListReceived(const std::vector<MIDIPacketData>& packets) {
    log(packets);
}

void MIDIReceiveHandler::RawDataLogging::eventListReceived(
    const std::vector<UniversalMIDIPacketData>& packets, midicore::MIDIProtocolVersion) {
    log(packets);
}

}  // namespace midiio
