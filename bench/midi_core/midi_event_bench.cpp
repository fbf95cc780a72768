// The relay path encodes every Note On and Note Off. These benchmarks encode them as MIDI 1.0
// bytes and as Universal MIDI Packets, through the records and through MIDIEvent, and count the
// heap allocations made inside the timed loop with a replaced global operator new: the counter
// "allocs/msg" must read 0 (a benchmark that allocates reports an error instead of figures).
#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

#include "midi_core/midi_event.hpp"

// GCC sees the replaced operators pair malloc with free across inlining and warns of a mismatch
// that is not there.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {

std::atomic<uint64_t> allocations{0};

}  // namespace

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace midicore;

constexpr size_t count = 1024;

// Note Ons and Note Offs over every channel, note and velocity form.
std::vector<MIDIEvent> notes() {
    std::mt19937 random(7);
    std::vector<MIDIEvent> events;
    events.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const auto note = UInt7::truncating(random());
        const auto channel = UInt4::truncating(random());
        const auto velocity = i % 3 == 0 ? ChanVoice7Bit16BitValue::midi2(static_cast<uint16_t>(random()))
                                         : ChanVoice7Bit16BitValue::midi1(UInt7::truncating(random()));
        if (i % 2 == 0) {
            events.push_back(MIDIEvent::noteOn(note, velocity, MIDIEvent::NoteAttribute::none(), channel));
        } else {
            events.push_back(MIDIEvent::noteOff(note, velocity, MIDIEvent::NoteAttribute::none(), channel));
        }
    }
    return events;
}

// Runs `encode` over every event per iteration and reports allocations per message.
template <class Encode>
void run(benchmark::State& state, Encode encode) {
    const auto events = notes();
    const uint64_t before = allocations.load();
    for (auto _ : state) {
        for (const MIDIEvent& e : events) encode(e);
    }
    const uint64_t made = allocations.load() - before;
    const double messages = static_cast<double>(state.iterations()) * count;
    state.counters["allocs/msg"] = static_cast<double>(made) / messages;
    state.SetItemsProcessed(static_cast<int64_t>(messages));
    if (made != 0) state.SkipWithError("heap allocation on the Note On/Off encoding path");
}

void BM_NoteEventMIDI1Bytes(benchmark::State& state) {
    run(state, [](const MIDIEvent& e) { benchmark::DoNotOptimize(e.midi1RawBytes()); });
}

void BM_NoteRecordMIDI1Bytes(benchmark::State& state) {
    run(state, [](const MIDIEvent& e) {
        if (const auto* on = e.getIf<MIDIEvent::NoteOn>()) {
            benchmark::DoNotOptimize(on->midi1RawBytes());
        } else if (const auto* off = e.getIf<MIDIEvent::NoteOff>()) {
            benchmark::DoNotOptimize(off->midi1RawBytes());
        }
    });
}

void BM_NoteEventUMP(benchmark::State& state) {
    const auto protocol = state.range(0) == 1 ? MIDIProtocolVersion::_1_0 : MIDIProtocolVersion::_2_0;
    run(state, [protocol](const MIDIEvent& e) { benchmark::DoNotOptimize(e.umpRawWords(protocol)); });
}

// Baseline: the three bytes from plain integers, with no value forms.
void BM_PlainThreeBytes(benchmark::State& state) {
    run(state, [](const MIDIEvent& e) {
        const uint8_t status = e.is<MIDIEvent::NoteOn>() ? 0x90 : 0x80;
        const std::array<uint8_t, 3> bytes{status, 60, 100};
        benchmark::DoNotOptimize(bytes);
    });
}

// The control: a 64-byte SysEx message spills to the heap, so the counter must see it.
void BM_SysEx7MIDI1BytesAllocates(benchmark::State& state) {
    const auto sysEx = MIDIEvent::sysEx7(MIDIEvent::SysExManufacturer::oneByte(UInt7(0x41)),
                                         std::vector<uint8_t>(64, 0x11));
    const uint64_t before = allocations.load();
    for (auto _ : state) benchmark::DoNotOptimize(sysEx.midi1RawBytes());
    state.counters["allocs/msg"] =
        static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations());
    if (allocations.load() == before) state.SkipWithError("the allocation counter counts nothing");
}

BENCHMARK(BM_NoteEventMIDI1Bytes);
BENCHMARK(BM_NoteRecordMIDI1Bytes);
BENCHMARK(BM_NoteEventUMP)->Arg(1)->Arg(2)->ArgName("protocol");
BENCHMARK(BM_PlainThreeBytes);
BENCHMARK(BM_SysEx7MIDI1BytesAllocates);

}  // namespace
BENCHMARK_MAIN();
