// Arbitrary bytes through the SysEx ID readers and the SysEx records. An ID read from bytes must
// write back to the same bytes; a 7-bit record must refuse any body with a byte of 0x80 or more
// (and keep its old body when an assignment is refused); the packets of every record must give
// back exactly the message, with valid statuses and counts and nothing but zeros after the piece.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "midi_core/bytes.hpp"
#include "midi_core/events/sysex7.hpp"
#include "midi_core/events/sysex8.hpp"
#include "midi_core/parse_error.hpp"

namespace {

using namespace midicore;
using namespace midicore::events;
using Bytes = std::vector<uint8_t>;

void require(bool condition) {
    if (!condition) std::abort();
}

void checkIDReaders(std::span<const uint8_t> input) {
    for (size_t n = 0; n <= std::min<size_t>(4, input.size()); ++n) {
        const auto prefix = input.first(n);
        if (const auto m = SysExManufacturer::fromSysEx7RawBytes(prefix)) {
            require(m->sysEx7RawBytes() == Bytes(prefix.begin(), prefix.end()));
            require(!m->description().empty());
            (void)m->name();
        }
        if (const auto id = SysExID::fromSysEx7RawBytes(prefix)) {
            require(id->sysEx7RawBytes() == Bytes(prefix.begin(), prefix.end()));
        }
        if (const auto m = SysExManufacturer::fromSysEx8RawBytes(prefix)) {
            require(n == 2 && m->sysEx8RawBytes()[0] == prefix[0] && m->sysEx8RawBytes()[1] == prefix[1]);
            require(m->isValid() == !(prefix[0] == 0x80 && prefix[1] == 0x00));
        }
        if (const auto id = SysExID::fromSysEx8RawBytes(prefix)) {
            require(id->sysEx8RawBytes()[0] == prefix[0] && id->sysEx8RawBytes()[1] == prefix[1]);
        }
    }
}

// The payload bytes of the packets, in order; checks their framing on the way.
Bytes reassemble(const UMPPackets& packets, bool eightBit, UInt4 group, uint8_t streamID) {
    Bytes message;
    const size_t capacity = eightBit ? 13 : 6;
    for (size_t i = 0; i < packets.size(); ++i) {
        const Bytes raw = midicore::bytes(packets[i].span());
        require(raw.size() == (eightBit ? 16u : 8u));
        require(raw[0] == ((eightBit ? 0x50 : 0x30) | group.value()));
        const unsigned status = raw[1] >> 4;
        const unsigned expected =
            packets.size() == 1 ? 0 : i == 0 ? 1 : i + 1 == packets.size() ? 3 : 2;
        require(status == expected);
        size_t count = raw[1] & 0x0F;
        size_t start = 2;
        if (eightBit) {
            require(count >= 1 && raw[2] == streamID);
            --count;
            start = 3;
        }
        require(count >= 1 && count <= capacity && (status == 0 || status == 3 || count == capacity));
        message.insert(message.end(), raw.begin() + start, raw.begin() + start + count);
        require(std::all_of(raw.begin() + start + count, raw.end(), [](uint8_t b) { return b == 0; }));
    }
    return message;
}

Bytes joined(std::span<const uint8_t> head, std::span<const uint8_t> body) {
    Bytes all(head.begin(), head.end());
    all.insert(all.end(), body.begin(), body.end());
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const std::span<const uint8_t> input(data, size);
    checkIDReaders(input.subspan(2));

    const UInt4 group = UInt4::truncating(input[0]);
    const uint8_t streamID = input[1];
    const auto manufacturer = (input[0] & 0x10) ? SysExManufacturer::threeByte(UInt7::truncating(input[1]), UInt7::truncating(input[0] >> 1))
                                                : SysExManufacturer::oneByte(UInt7::truncating(input[1]));
    const Bytes body(input.begin() + 2, input.end());
    const bool sevenBit = std::all_of(body.begin(), body.end(), [](uint8_t b) { return b < 0x80; });

    try {
        const SysEx7 record(manufacturer, body, group);
        require(sevenBit);
        const auto framed = record.midi1RawBytes();
        require(framed.size() == body.size() + 2 + manufacturer.sysEx7RawBytes().size());
        require(framed[0] == 0xF0 && framed[framed.size() - 1] == 0xF7);
        require(std::all_of(framed.begin() + 1, framed.end() - 1, [](uint8_t b) { return b < 0x80; }));
        require(reassemble(record.umpRawWords(), false, group, 0) ==
                joined(manufacturer.sysEx7RawBytes().span(), body));
    } catch (const MIDIEventParseError& error) {
        require(!sevenBit && error.errorCase() == MIDIEventParseError::Case::malformed);
    }

    SysEx7 kept(manufacturer, Bytes{0x01}, group);
    try {
        kept.data.set(body);
        require(sevenBit && kept.data == body);
    } catch (const MIDIEventParseError&) {
        require(!sevenBit && kept.data == Bytes{0x01});
    }

    SysEx8 eight(manufacturer, body, group);
    eight.streamID = streamID;
    require(reassemble(eight.umpRawWords(), true, group, streamID) ==
            joined(manufacturer.sysEx8RawBytes(), body));
    UniversalSysEx8 universal(UniversalSysExType::realTime, UInt7::truncating(input[1]), UInt7(6),
                              UInt7(1), body, group);
    universal.streamID = streamID;
    const Bytes head{0x00, 0x7F, UInt7::truncating(input[1]).value(), 0x06, 0x01};
    require(reassemble(universal.umpRawWords(), true, group, streamID) == joined(head, body));
    return 0;
}
