// The System Exclusive parsers at a short message and at a long one (their cost per byte must
// stay flat: compare the "s/byte" counters of 64 B and 64 KiB), and the event filters over a
// batch of 1,000 mixed events.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "midi_core/event_filter.hpp"
#include "midi_core/midi_event.hpp"
#include "midi_support/number_text.hpp"

namespace {

using namespace midicore;

// A one-byte-ID message of `size` bytes in all: F0, 0x41, data, F7.
std::vector<uint8_t> sysExMessage(size_t size) {
    std::mt19937 random(3);
    std::vector<uint8_t> bytes{0xF0, 0x41};
    while (bytes.size() + 1 < size) bytes.push_back(static_cast<uint8_t>(random() & 0x7F));
    bytes.push_back(0xF7);
    return bytes;
}

void perByte(benchmark::State& state, size_t bytes) {
    const double total = static_cast<double>(state.iterations()) * static_cast<double>(bytes);
    state.SetBytesProcessed(static_cast<int64_t>(total));
    state.counters["s/byte"] = benchmark::Counter(total, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_SysEx7ParseRawBytes(benchmark::State& state) {
    const auto message = sysExMessage(static_cast<size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(MIDIEvent::sysEx7FromRawBytes(message));
    perByte(state, message.size());
}

void BM_SysEx7ParseHexString(benchmark::State& state) {
    const auto message = sysExMessage(static_cast<size_t>(state.range(0)));
    const std::string text = midisupport::hexString(message, 2, false, " ");
    for (auto _ : state) benchmark::DoNotOptimize(MIDIEvent::sysEx7FromRawHexString(text));
    perByte(state, message.size());
}

std::vector<MIDIEvent> mixedBatch() {
    std::mt19937 random(5);
    std::vector<MIDIEvent> events;
    for (int i = 0; i < 1000; ++i) {
        const auto group = UInt4::truncating(random() % 2);
        switch (random() % 5) {
            case 0:
                events.push_back(MIDIEvent::timingClock(group));
                break;
            case 1:
                events.push_back(MIDIEvent::activeSensing(group));
                break;
            case 2:
                events.push_back(MIDIEvent::cc(UInt7::truncating(random()),
                                               ChanVoice7Bit32BitValue::midi1(UInt7(1)),
                                               UInt4::truncating(random()), group));
                break;
            default:
                events.push_back(MIDIEvent::noteOn(UInt7::truncating(random()),
                                                   ChanVoice7Bit16BitValue::midi1(UInt7(90)),
                                                   MIDIEvent::NoteAttribute::none(),
                                                   UInt4::truncating(random()), group));
                break;
        }
    }
    return events;
}

void BM_FilterDropRealTime(benchmark::State& state) {
    const auto events = mixedBatch();
    const auto spec = MIDIEvent::SysRealTimeTypes::dropTypes(
        {MIDIEvent::SysRealTimeType::activeSensing, MIDIEvent::SysRealTimeType::timingClock});
    for (auto _ : state) benchmark::DoNotOptimize(filter(events, spec));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * events.size()));
}

void BM_FilterGroupOfThree(benchmark::State& state) {
    const auto events = mixedBatch();
    const MIDIEventFilterGroup group(
        {MIDIEventFilter::sysRealTime(MIDIEvent::SysRealTimeTypes::drop()),
         MIDIEventFilter::chanVoice(MIDIEvent::ChanVoiceTypes::keepNotesInRange(
             MIDIEvent::NoteRange(UInt7(36), UInt7(96)))),
         MIDIEventFilter::group(UInt4(0))});
    for (auto _ : state) benchmark::DoNotOptimize(group.apply(events));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * events.size()));
}

BENCHMARK(BM_SysEx7ParseRawBytes)->Arg(64)->Arg(64 * 1024);
BENCHMARK(BM_SysEx7ParseHexString)->Arg(64)->Arg(64 * 1024);
BENCHMARK(BM_FilterDropRealTime);
BENCHMARK(BM_FilterGroupOfThree);

}  // namespace
