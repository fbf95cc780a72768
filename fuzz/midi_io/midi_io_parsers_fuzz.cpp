// Arbitrary bytes through both receive parsers, cut into packets by the input itself. Neither may
// fail; the UMP parser's open System Exclusive buffers stay within their bound; and every event
// the MIDI 1.0 parser makes encodes to MIDI 1.0 bytes that a fresh parser reads back as that event.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "midi_io/midi1_parser.hpp"
#include "midi_io/midi2_parser.hpp"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void checkRoundTrip(const midicore::MIDIEvent& event) {
    const auto encoded = event.midi1RawBytes();
    midiio::MIDI1Parser fresh;
    fresh.setTranslateNoteOnZeroVelocityToNoteOff(false);
    const auto again = fresh.parsedEvents(encoded.span());
    require(again.size() == 1 && again.front() == event);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const std::span<const uint8_t> input(data, size);
    // The first byte: whether to translate Note On velocity 0 (bit 0) and a small System
    // Exclusive bound (bit 1); the second: the packet length.
    midiio::MIDI1Parser midi1;
    midiio::MIDI2Parser midi2;
    const bool translate = (input[0] & 1) != 0;
    midi1.setTranslateNoteOnZeroVelocityToNoteOff(translate);
    if ((input[0] & 2) != 0) {
        midi1.setMaxSysExSize(64);
        midi2.setMaxSysExSize(64);
    }
    const size_t packetLength = 1 + input[1] % 32;
    const auto stream = input.subspan(2);

    std::vector<midicore::MIDIEvent> events;
    for (size_t at = 0; at < stream.size(); at += packetLength) {
        const auto packet = stream.subspan(at, std::min(packetLength, stream.size() - at));
        events.clear();
        midi1.parse(packet, midicore::UInt4(0), events);
        if (!translate) {
            for (const auto& event : events) checkRoundTrip(event);
        }
    }
    // The same bytes as UMP messages of one to four words.
    for (size_t at = 0; at < stream.size();) {
        const size_t words = 1 + (stream[at] >> 4) % 4;
        const auto message = stream.subspan(at, std::min(words * 4, stream.size() - at));
        events.clear();
        midi2.parse(message, events);
        require(midi2.openSysExSize() <= midi2.maxSysExSize());
        at += message.size();
    }
    return 0;
}
