// Arbitrary input through the three System Exclusive parsers; the first byte picks the parser
// (raw MIDI 1.0 bytes, hexadecimal text, reassembled 8-bit message) and the group. Only the
// parse error may escape a parser, and whatever parses must encode to a message that parses back
// to the same event: MIDI 1.0 bytes and their hex text for 7-bit messages, the payload of the
// type-5 packets for 8-bit ones.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "midi_core/midi_event.hpp"
#include "midi_support/number_text.hpp"

namespace {

using namespace midicore;

void require(bool condition) {
    if (!condition) std::abort();
}

template <class Parse>
std::optional<MIDIEvent> parsed(Parse parse) {
    try {
        return parse();
    } catch (const MIDIEventParseError&) {
        return std::nullopt;
    }
}

// The message carried by type-5 packets: the stream ID, then each packet's piece.
std::vector<uint8_t> reassembled(const UMPPackets& packets) {
    std::vector<uint8_t> message;
    for (const UMPPacket& p : packets) {
        require(p.size() == 4 && p[0] >> 28 == 5);
        std::vector<uint8_t> bytes;
        for (uint32_t w : p) {
            for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(w >> shift));
        }
        const size_t count = bytes[1] & 0x0F;
        require(count >= 1 && count <= 14);
        if (message.empty()) message.push_back(bytes[2]);
        require(bytes[2] == message[0]);
        message.insert(message.end(), bytes.begin() + 3, bytes.begin() + 2 + static_cast<std::ptrdiff_t>(count));
    }
    return message;
}

void checkSevenBit(const MIDIEvent& event, UInt4 group) {
    require(event.isSystemExclusive() && event.group() == group);
    const MIDI1Bytes bytes = event.midi1RawBytes();
    require(bytes.size() >= 2 && bytes[0] == 0xF0 && bytes[bytes.size() - 1] == 0xF7);
    require(MIDIEvent::sysEx7FromRawBytes(bytes.span(), group) == event);
    const std::string hex = midisupport::hexString(bytes.span(), 2, false, " ");
    require(MIDIEvent::sysEx7FromRawHexString(hex, group) == event);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::span<const uint8_t> input(data + 1, size - 1);
    const UInt4 group = UInt4::truncating(data[0] >> 4);
    switch (data[0] % 3) {
        case 0:
            if (const auto event = parsed([&] { return MIDIEvent::sysEx7FromRawBytes(input, group); })) {
                checkSevenBit(*event, group);
            }
            break;
        case 1: {
            const std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
            if (const auto event = parsed([&] { return MIDIEvent::sysEx7FromRawHexString(text, group); })) {
                checkSevenBit(*event, group);
            }
            break;
        }
        default:
            if (const auto event = parsed([&] { return MIDIEvent::sysEx8FromRawBytes(input, group); })) {
                require(event->isSystemExclusive() && event->midi1RawBytes().empty());
                const auto message = reassembled(event->umpRawWords(MIDIProtocolVersion::_2_0));
                require(MIDIEvent::sysEx8FromRawBytes(message, group) == *event);
            }
            break;
    }
    return 0;
}
