// The MIDI services' delivery path: a simulated keyboard plays a Note On and a port's block takes
// it. Latency from the driver's hand-over to the block (p50, p99), for a legacy port and for a
// MIDI 2.0 port (with translation); and a steady 10,000 events a second for one second, checked
// for loss and order, with the latency it sees.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "midiservices/io.hpp"
#include "midiservices/test_driver.hpp"

using namespace midiservices;
using Clock = std::chrono::steady_clock;

namespace {

MIDIDriverDeviceDescription keyboard() {
    return {"Keys", "K", "Maker", MIDIProtocolID::midi1_0, {{"Port", {"Out"}, {}}}};
}

// What a port's block records: the arrival time of each note, and whether the notes (numbered by
// their position modulo 128) came in order.
struct Receiver {
    std::vector<Clock::time_point> arrivals;
    std::atomic<size_t> count{0};
    std::atomic<bool> inOrder{true};
    uint32_t expected = 0;

    void arrive(uint32_t sequence) {
        if (sequence != (expected++ & 0x7F)) inOrder = false;
        arrivals[count] = Clock::now();
        count.store(count + 1, std::memory_order_release);
    }
};

void setCounters(benchmark::State& state, std::vector<double> latencies) {
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) { return latencies[size_t(q * (latencies.size() - 1))]; };
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = latencies.back();
}

// Plays `events` notes, `interval` apart (0: as fast as the loop goes), and measures each.
void run(benchmark::State& state, bool twoPointZero, size_t events,
         std::chrono::microseconds interval) {
    testdriver::SimulatedSystem system;
    auto device = system.plug(keyboard());
    MIDIClientRef client = 0;
    MIDIClientCreateWithBlock("bench", &client, {});
    Receiver receiver;
    receiver.arrivals.resize(events);
    MIDIPortRef port = 0;
    if (twoPointZero) {
        MIDIInputPortCreateWithProtocol(client, "p", MIDIProtocolID::midi2_0, &port,
                                        [&](const MIDIEventList* list, void*) {
                                            receiver.arrive(list->packet[0].words[0] >> 8 & 0x7F);
                                        });
    } else {
        MIDIInputPortCreateWithBlock(client, "p", &port, [&](const MIDIPacketList* list, void*) {
            receiver.arrive(list->packet[0].data[1]);
        });
    }
    MIDIPortConnectSource(port, device.source(0), nullptr);

    std::vector<double> latencies;
    bool lost = false, disordered = false;
    for (auto _ : state) {
        receiver.count = 0;
        receiver.expected = 0;
        receiver.inOrder = true;
        std::vector<Clock::time_point> sent(events);
        auto next = Clock::now();
        for (size_t i = 0; i < events; ++i) {
            if (interval.count() > 0) {
                next += interval;
                while (Clock::now() < next) {}
            }
            sent[i] = Clock::now();
            system.play(device.source(0), {0x90, uint8_t(i & 0x7F), 0x64});
            if (interval.count() == 0) {
                // One at a time: wait for this one to arrive.
                while (receiver.count.load(std::memory_order_acquire) <= i) {}
            }
        }
        system.drain();
        lost = lost || receiver.count != events;
        disordered = disordered || !receiver.inOrder;
        for (size_t i = 0; i < receiver.count; ++i) {
            latencies.push_back(
                std::chrono::duration<double, std::micro>(receiver.arrivals[i] - sent[i]).count());
        }
    }
    setCounters(state, std::move(latencies));
    state.counters["lost"] = lost;
    state.counters["disordered"] = disordered;
    state.SetItemsProcessed(int64_t(state.iterations() * events));
    MIDIClientDispose(client);
}

void latencyLegacyPort(benchmark::State& state) {
    run(state, false, 2000, std::chrono::microseconds(0));
}
BENCHMARK(latencyLegacyPort)->Unit(benchmark::kMillisecond)->UseRealTime();

void latencyMIDI2Port(benchmark::State& state) {
    run(state, true, 2000, std::chrono::microseconds(0));
}
BENCHMARK(latencyMIDI2Port)->Unit(benchmark::kMillisecond)->UseRealTime();

void steady10kPerSecondMIDI2Port(benchmark::State& state) {
    run(state, true, 10000, std::chrono::microseconds(100));
}
BENCHMARK(steady10kPerSecondMIDI2Port)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
