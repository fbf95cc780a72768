// Feeds arbitrary MTC input to the decoder. Byte 0 picks the local rate (none above 21); then the
// stream of mtc_stream.hpp, with F4 resetting the quarter-frame assembly, F5 the timecode, and F9
// picking a new local rate. Checks that every report is at the local rate or at the incoming MTC
// rate's own, and that quarter-frame reports only come once values were assembled.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "midi_sync/mtc_decoder.hpp"
#include "mtc_stream.hpp"

using namespace midisync;

using mtcfuzz::check;
using mtcfuzz::rateOf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    MTCDecoder decoder(rateOf(data[0]));
    int quarterFramesSinceReset = 0;
    decoder.setTimecodeChangedHandler([&](const Timecode& tc, MTCMessageType type, MTCDirection, bool) {
        const auto local = decoder.localFrameRate();
        check((local && tc.frameRate == *local) || tc.frameRate == decoder.mtcFrameRate().directEquivalentFrameRate());
        check(type == MTCMessageType::fullFrame || quarterFramesSinceReset >= 8);
        check(tc.hours >= 0 && tc.hours < 32 && tc.minutes >= 0 && tc.minutes < 128 && tc.seconds >= 0 &&
              tc.seconds < 128 && tc.frames >= 0);
        (void)tc.stringValue();
    });
    mtcfuzz::split(
        std::span(data + 1, size - 1),
        [&](const midicore::MIDIEvent& event) {
            if (event.is<midicore::MIDIEvent::TimecodeQuarterFrame>()) ++quarterFramesSinceReset;
            decoder.midiIn(event);
        },
        [&](uint8_t command, uint8_t argument) {
            if (command == 0xF4) {
                decoder.resetQFBuffer();
                quarterFramesSinceReset = 0;
            } else if (command == 0xF5) {
                decoder.resetTimecode();
            } else if (command == 0xF9) {
                decoder.setLocalFrameRate(rateOf(argument));
            }
        });
    return 0;
}
