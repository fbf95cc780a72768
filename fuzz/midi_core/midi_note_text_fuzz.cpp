// Arbitrary text through note-name parsing in every style, and arbitrary numbers through the
// frequency conversions. A parse either throws the typed note error or gives a note whose own text,
// in every spelling, parses back to it; the pitch-class reader never reads past the text; no input
// reaches undefined behaviour (overlong octaves, ill-formed UTF-8 and non-finite numbers included).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "midi_core/midi_note.hpp"

namespace {

using namespace midicore;

void require(bool condition) {
    if (!condition) std::abort();
}

void parseSteps(std::string_view text) {
    (void)noteName(text);
    for (MIDINote::Style style : MIDINote::allStyles) {
        MIDINote note(UInt7(64), style);
        try {
            note.setNumberParsing(text);
        } catch (const MIDINote::NoteError&) {
            require(note.number == 64);  // a failed parse changes nothing
            continue;
        }
        require(note.style == style);
        for (bool flats : {false, true}) {
            for (bool unicode : {false, true}) {
                require(MIDINote::fromString(note.stringValue(flats, unicode), style) == note);
            }
        }
    }
}

void numberSteps(const uint8_t* data, size_t size) {
    if (size < 16) return;
    double hertz = 0;
    double tuning = 0;
    std::memcpy(&hertz, data, sizeof hertz);
    std::memcpy(&tuning, data + 8, sizeof tuning);
    (void)noteNumber(hertz, tuning);
    MIDINote note(UInt7(64));
    try {
        note.setNumberFromFrequency(hertz, tuning);
        require(note.number <= 127);
    } catch (const MIDINote::NoteError&) {
        require(note.number == 64);
    }
    int64_t stride = 0;
    std::memcpy(&stride, data, sizeof stride);
    require(note.advanced(stride).number <= 127);
    try {
        note.setNumber(MIDINote::allNames[data[0] % 12], stride);
    } catch (const MIDINote::NoteError&) {}
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    parseSteps(std::string_view(reinterpret_cast<const char*>(data), size));
    numberSteps(data, size);
    return 0;
}
