#include "midi_io/detail/send_path.hpp"

#include "midi_core/io_error.hpp"
#include "midi_io/detail/virtual_endpoint.hpp"
#include "midi_support/packet_builders.hpp"
#include "midiservices/host_time.hpp"

namespace midiio::detail {

namespace ms = midiservices;
using midicore::MIDIEvent;

namespace {

bool isSystemExclusive(const MIDIEvent& event) {
    switch (event.eventCase()) {
        case MIDIEvent::Case::sysEx7:
        case MIDIEvent::Case::universalSysEx7:
        case MIDIEvent::Case::sysEx8:
        case MIDIEvent::Case::universalSysEx8: return true;
        default: return false;
    }
}

bool usesEventLists(const SendTarget& target) {
    return target.api.apiCase() == CoreMIDIAPIVersion::Case::newCoreMIDI;
}

void sendUMPPackets(const SendTarget& target, const MIDIEvent& event) {
    for (const auto& packet : event.umpRawWords(target.api.midiProtocol()))
        sendUMPWords(target, std::span<const uint32_t>(packet.begin(), packet.end()));
}

}  // namespace

void sendMIDI1Messages(const SendTarget& target, std::span<const std::vector<uint8_t>> messages) {
    if (usesEventLists(target))
        throw midicore::MIDIIOError::internalInconsistency(
            "Raw bytes cannot be sent using new Core MIDI API.");
    // A message longer than one packet goes as several packets in order, never cut short.
    std::vector<std::vector<uint8_t>> packets;
    for (const auto& message : messages) {
        if (message.size() <= maxSendPacketBytes) {
            packets.push_back(message);
            continue;
        }
        for (size_t at = 0; at < message.size(); at += maxSendPacketBytes)
            packets.emplace_back(message.begin() + static_cast<std::ptrdiff_t>(at),
                                 message.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                       message.size(), at + maxSendPacketBytes)));
    }
    const auto list = midisupport::makePacketList(std::span<const std::vector<uint8_t>>(packets));
    target.packets(list.list(), list.byteCount());
}

void sendUMPWords(const SendTarget& target, std::span<const uint32_t> words) {
    if (!usesEventLists(target))
        throw midicore::MIDIIOError::internalInconsistency(
            "Universal MIDI Packet words cannot be sent using old Core MIDI API.");
    requireNewCoreMIDIAPI();
    const auto list = midisupport::makeEventList(servicesProtocol(target.api.midiProtocol()),
                                                 words, ms::currentHostTime());
    target.events(&list, sizeof(list));
}

void sendEvent(const SendTarget& target, const MIDIEvent& event) {
    if (usesEventLists(target)) {
        requireNewCoreMIDIAPI();
        sendUMPPackets(target, event);
        return;
    }
    const auto bytes = event.midi1RawBytes();
    if (!bytes.empty() && bytes.size() <= maxSendPacketBytes) {
        // One packet, in a list made right here: a message of one packet costs no allocation.
        ms::MIDIPacketList list{};
        ms::MIDIPacketListAdd(&list, sizeof list, ms::MIDIPacketListInit(&list),
                              ms::currentHostTime(), bytes.size(), bytes.data());
        target.packets(&list, sizeof list);
        return;
    }
    const std::vector<uint8_t> message = bytes.toVector();
    sendMIDI1Messages(target, std::span<const std::vector<uint8_t>>(&message, 1));
}

void sendEvents(const SendTarget& target, const std::vector<MIDIEvent>& events) {
    if (usesEventLists(target)) {
        requireNewCoreMIDIAPI();
        for (const auto& event : events) sendUMPPackets(target, event);
        return;
    }
    bool anySystemExclusive = false;
    for (const auto& event : events) anySystemExclusive = anySystemExclusive || isSystemExclusive(event);
    if (anySystemExclusive) {
        for (const auto& event : events) sendEvent(target, event);
        return;
    }
    std::vector<std::vector<uint8_t>> messages;
    messages.reserve(events.size());
    for (const auto& event : events) messages.push_back(event.midi1RawBytes().toVector());
    sendMIDI1Messages(target, messages);
}

}  // namespace midiio::detail
