// Feeds arbitrary bytes to what the MIDI services take from callers and drivers, checking their
// promises along the way.
//
// Input: the first byte picks the mode. Mode 0: the rest is a packet list of that many bytes.
// Mode 1: the rest is an event list. Mode 2: the rest is a MIDI 1.0 byte stream, cut into pieces
// wherever a 0xFF 0xFF pair stands (the pair itself is dropped).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "lists.hpp"
#include "midiservices/driver.hpp"
#include "midiservices/translation.hpp"

using namespace midiservices;

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

bool wholeMessages(const std::vector<uint32_t>& words) {
    size_t at = 0;
    while (at < words.size())
        at += umpWordCount(words[at]);
    return at == words.size();
}

// Every translation of UMP data gives whole messages, and bytes parse back to the same packets.
void translateAll(const MIDIPackets& ump) {
    for (const auto protocol : {MIDIProtocolID::midi1_0, MIDIProtocolID::midi2_0}) {
        for (const auto& p : umpToProtocol(ump, protocol))
            check(wholeMessages(p.words));
    }
    for (const auto& p : umpToBytes(ump))
        check(!p.bytes.empty());
}

// The words of real-time messages, and the words of all others.
std::pair<std::vector<uint32_t>, std::vector<uint32_t>> split(const MIDIPackets& packets) {
    std::pair<std::vector<uint32_t>, std::vector<uint32_t>> parts;
    for (const auto& p : packets) {
        const bool realTime = p.words[0] >> 28 == 1 && (p.words[0] >> 16 & 0xFF) >= 0xF8;
        auto& part = realTime ? parts.first : parts.second;
        part.insert(part.end(), p.words.begin(), p.words.end());
    }
    return parts;
}

void fuzzStream(const uint8_t* data, size_t size) {
    MIDI1StreamToUMP parser;
    MIDIPackets ump;
    MIDIDriverPacket piece;
    for (size_t i = 0; i < size; ++i) {
        if (i + 1 < size && data[i] == 0xFF && data[i + 1] == 0xFF) {
            parser.feed(piece, ump);
            piece.bytes.clear();
            ++i;
            continue;
        }
        piece.bytes.push_back(data[i]);
    }
    piece.bytes.push_back(0xF7);  // ends a System Exclusive message left open
    parser.feed(piece, ump);
    for (const auto& p : ump) {
        check(p.words.size() == umpWordCount(p.words[0]));
        const uint32_t type = p.words[0] >> 28;
        check(type == 1 || type == 2 || type == 3);
    }
    translateAll(ump);

    // The byte form of the packets parses back to the same packets. Real-time messages may move
    // past the System Exclusive packet the parser holds back, so they are compared on their own.
    MIDI1StreamToUMP again;
    MIDIPackets reparsed;
    for (const auto& p : umpToBytes(ump))
        again.feed(p, reparsed);
    check(split(reparsed) == split(ump));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t mode = data[0] % 3;
    ++data;
    --size;
    if (mode == 2) {
        fuzzStream(data, size);
        return 0;
    }
    // Copied into storage of exactly its size, so that a read past the end shows.
    std::vector<uint64_t> aligned((size + 7) / 8 + 1);
    auto* copy = reinterpret_cast<uint8_t*>(aligned.data());
    if (size > 0) std::memcpy(copy, data, size);
    std::vector<uint8_t> exact(copy, copy + size);
    if (mode == 0) {
        const auto packets =
            detail::readPacketList(reinterpret_cast<const MIDIPacketList*>(aligned.data()), size);
        if (!packets) return 0;
        size_t total = 0;
        for (const auto& p : *packets)
            total += p.bytes.size() + packetHeaderSize;
        check(total <= size);
        auto rebuilt = detail::buildPacketList(*packets);
        check(rebuilt.list()->numPackets == packets->size());
    } else {
        MIDIProtocolID protocol{};
        const auto packets = detail::readEventList(
            reinterpret_cast<const MIDIEventList*>(aligned.data()), size, protocol);
        if (!packets) return 0;
        for (const auto& p : *packets)
            check(wholeMessages(p.words) && p.words.size() <= 64);
        translateAll(*packets);
        auto rebuilt = detail::buildEventList(*packets, protocol);
        check(rebuilt.list()->numPackets == packets->size());
    }
    return 0;
}
