// Heap allocations per event and latency on the two paths of the MIDI I/O layer over the
// in-process services:
// - receive: a simulated keyboard plays a Note On and an input connection's events handler gets it
//   (services delivery thread, the manager's event queue, the handler);
// - send: an output connection sends a Note On and the keyboard's destination takes it.
// Each path runs on the packet-list interface and on the event-list interface in the MIDI 2.0
// protocol (translated on the way). Events go one at a time: the next is played once the previous
// one has arrived, so every event pays for its own hand-overs between threads.
//
// Every allocation of the process is counted by a replaced global operator new, on every thread,
// between the hand-over of the event and its arrival; the bytes the keyboard plays are made
// before the clock starts. Counters: allocs/event, p50_us, p99_us.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "midi_core/midi_event.hpp"
#include "midi_io/input_connection.hpp"
#include "midi_io/manager.hpp"
#include "midi_io/output_connection.hpp"
#include "midiservices/driver.hpp"
#include "midiservices/test_driver.hpp"

#include "replaced_allocation.hpp"

namespace {
std::atomic<uint64_t> allocations{0};
}  // namespace

void* testsupport::allocateForTest(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return mallocOrThrow(size);
}

namespace {

using Clock = std::chrono::steady_clock;
namespace ms = midiservices;
using midiio::CoreMIDIAPIVersion;

constexpr size_t kEvents = 2000;

CoreMIDIAPIVersion apiOf(bool eventLists) {
    return eventLists ? CoreMIDIAPIVersion::newCoreMIDI(midicore::MIDIProtocolVersion::_2_0)
                      : CoreMIDIAPIVersion::legacyCoreMIDI();
}

ms::MIDIDriverDeviceDescription keyboard() {
    return {"Keys", "K", "Maker", ms::MIDIProtocolID::midi1_0, {{"Port", {"Out"}, {"In"}}}};
}

// Arrival of event i, written by whichever thread delivers it.
struct Arrivals {
    std::vector<Clock::time_point> at = std::vector<Clock::time_point>(kEvents);
    std::atomic<size_t> count{0};
    void arrive() {
        const size_t i = count.load(std::memory_order_relaxed);
        if (i < at.size()) at[i] = Clock::now();
        count.store(i + 1, std::memory_order_release);
    }
    void waitFor(size_t n) const {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (count.load(std::memory_order_acquire) < n && Clock::now() < deadline) {
        }
    }
};

void report(benchmark::State& state, const std::vector<Clock::time_point>& sent,
            const Arrivals& arrivals, uint64_t allocationsMade, size_t events) {
    if (arrivals.count.load() != events) {
        state.SkipWithError("events were lost");
        return;
    }
    std::vector<double> micros;
    for (size_t i = 0; i < events; ++i)
        micros.push_back(std::chrono::duration<double, std::micro>(arrivals.at[i] - sent[i]).count());
    std::sort(micros.begin(), micros.end());
    state.counters["allocs/event"] = static_cast<double>(allocationsMade) / static_cast<double>(events);
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
}

void BM_ReceivePath(benchmark::State& state) {
    const bool eventLists = state.range(0) != 0;
    ms::testdriver::SimulatedSystem system;
    const auto keys = system.plug(keyboard());
    auto manager = midiio::MIDIManager::make("Bench", "Bench", "Bench");
    manager->setPreferredAPI(apiOf(eventLists));
    manager->start();
    Arrivals arrivals;
    manager->addInputConnection(
        std::vector<midiio::MIDIEndpointIdentity>{}, "in", midiio::MIDIConnectionMode::allEndpoints,
        midiio::MIDIEndpointFilter::ownedFilter(),
        midiio::MIDIReceiver::events(true, [&](const std::vector<midicore::MIDIEvent>& events) {
            for (size_t i = 0; i < events.size(); ++i) arrivals.arrive();
        }));
    system.drain();
    manager->eventQueue()->sync([] {});

    for (auto _ : state) {
        std::vector<std::vector<uint8_t>> notes;
        for (size_t i = 0; i < kEvents; ++i)
            notes.push_back({0x90, static_cast<uint8_t>(i % 128), static_cast<uint8_t>(1 + i % 126)});
        std::vector<Clock::time_point> sent(kEvents);
        arrivals.count = 0;
        const uint64_t before = allocations.load();
        for (size_t i = 0; i < kEvents; ++i) {
            sent[i] = Clock::now();
            system.play(keys.source(0), std::move(notes[i]));
            arrivals.waitFor(i + 1);
        }
        const uint64_t made = allocations.load() - before;
        report(state, sent, arrivals, made, kEvents);
    }
}
BENCHMARK(BM_ReceivePath)->Arg(0)->Arg(1)->ArgName("eventLists")->Iterations(3)->UseRealTime();

void BM_SendPath(benchmark::State& state) {
    const bool eventLists = state.range(0) != 0;
    ms::testdriver::SimulatedSystem system;
    const auto keys = system.plug(keyboard());
    Arrivals arrivals;
    ms::MIDIDriverSetDestinationSink(keys.destination(0),
                                     [&](const ms::MIDIDriverPacket&) { arrivals.arrive(); });
    auto manager = midiio::MIDIManager::make("Bench", "Bench", "Bench");
    manager->setPreferredAPI(apiOf(eventLists));
    manager->start();
    manager->addOutputConnection(std::vector<midiio::MIDIEndpointIdentity>{}, "out",
                                 midiio::MIDIConnectionMode::allEndpoints,
                                 midiio::MIDIEndpointFilter::ownedFilter());
    const auto connection = manager->managedOutputConnections().at("out");
    system.drain();

    for (auto _ : state) {
        std::vector<midicore::MIDIEvent> notes;
        for (size_t i = 0; i < kEvents; ++i)
            notes.push_back(midicore::MIDIEvent::noteOn(
                midicore::MIDINote(midicore::UInt7(static_cast<uint8_t>(i % 128))),
                midicore::ChanVoice7Bit16BitValue::midi1(
                    midicore::UInt7(static_cast<uint8_t>(1 + i % 126)))));
        std::vector<Clock::time_point> sent(kEvents);
        arrivals.count = 0;
        const uint64_t before = allocations.load();
        for (size_t i = 0; i < kEvents; ++i) {
            sent[i] = Clock::now();
            connection->send(notes[i]);
            arrivals.waitFor(i + 1);
        }
        const uint64_t made = allocations.load() - before;
        report(state, sent, arrivals, made, kEvents);
    }
}
BENCHMARK(BM_SendPath)->Arg(0)->Arg(1)->ArgName("eventLists")->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
