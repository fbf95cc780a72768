// Feeds arbitrary MTC input to a receiver on a manual clock. Byte 0 picks the local rate (none
// above 21), bytes 1 and 2 the lock and drop-out frames of an unclamped policy (signed); then the
// stream of mtc_stream.hpp, with F8 moving the clock by its argument in milliseconds (ticks
// included) and F9 picking a new local rate. The main queue is drained at the end; every state and
// timecode it delivers must be well formed.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "midi_sync/mtc_receiver.hpp"
#include "mtc_stream.hpp"

using namespace midisync;
using namespace std::chrono_literals;

using mtcfuzz::check;
using mtcfuzz::rateOf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    auto clock = dispatch::TimerService::makeManual();
    auto receiver = MTCReceiver::make(
        "fuzz", rateOf(data[0]),
        MTCReceiver::SyncPolicy::unclamped(static_cast<int8_t>(data[1]), static_cast<int8_t>(data[2])),
        [](const Timecode& tc, MTCMessageType, MTCDirection, bool) { (void)tc.stringValue(); },
        [](const MTCReceiver::State& state) {
            check(!state.description().empty());
            check(state.lockTimecode().has_value() == (state.stateCase() == MTCReceiver::State::Case::preSync));
        },
        clock);
    mtcfuzz::split(
        std::span(data + 3, size - 3), [&](const midicore::MIDIEvent& event) { receiver->midiIn(event); },
        [&](uint8_t command, uint8_t argument) {
            if (command == 0xF8) {
                for (int ms = 0; ms < argument % 64; ++ms) {
                    clock->advance(1ms);
                    receiver->queue()->sync([] {});
                    receiver->queue()->sync([] {});
                }
            } else if (command == 0xF9) {
                receiver->setLocalFrameRate(rateOf(argument));
            }
        });
    (void)receiver->state();
    receiver.reset();
    dispatch::Queue::main()->drain();
    return 0;
}
