// A burst of 10,000 notes from a JACK program to the application's all-sources port over the JACK
// bridge, with the server in asynchronous mode (what users run; the tests use synchronous mode).
// In asynchronous mode a client that misses its cycle's deadline is skipped and the server may
// replay or drop a cycle's buffer, so run it on a loaded machine (a parallel build) and read the
// counters: notes missing, notes heard more than once, notes out of order, and the bridge's own
// drops. Each note of the run is distinct, so every count is exact.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>

#include "jack_test_server.hpp"
#include "midiservices/io.hpp"
#include "midiservices/jack.hpp"
#include "midiservices/test_driver.hpp"

namespace {

using jacktest::Bytes;
namespace ms = midiservices;

void BM_AsyncServerBurst(benchmark::State& state) {
    jacktest::JackServer server(/*synchronous=*/false);
    if (!server.ready()) {
        state.SkipWithError("jackd could not be started");
        return;
    }
    ms::testdriver::SimulatedSystem system;
    std::unique_ptr<ms::jack::JackBridge> bridge;
    jacktest::waitFor([&] {
        bridge = ms::jack::JackBridge::open({.serverName = server.name()});
        return bridge != nullptr;
    });
    if (!bridge) {
        state.SkipWithError("no bridge");
        return;
    }
    std::mutex mutex;
    std::vector<Bytes> heard;
    ms::MIDIClientRef client = 0;
    ms::MIDIClientCreateWithBlock("bench", &client, {});
    ms::MIDIPortRef port = 0;
    ms::MIDIInputPortCreateWithBlock(client, "all", &port, [&](const ms::MIDIPacketList* list, void*) {
        std::lock_guard lock(mutex);
        const ms::MIDIPacket* packet = &list->packet[0];
        for (uint32_t i = 0; i < list->numPackets; ++i, packet = ms::MIDIPacketNext(packet))
            heard.emplace_back(packet->data, packet->data + packet->length);
    });
    for (auto _ : state) {
        jacktest::Peer sequencer("sequencer");
        bridge->settle();
        for (ms::ItemCount i = 0; i < ms::MIDIGetNumberOfSources(); ++i)
            ms::MIDIPortConnectSource(port, ms::MIDIGetSource(i), nullptr);
        {
            std::lock_guard lock(mutex);
            heard.clear();
        }
        const auto burst = jacktest::notes(10'000);
        sequencer.play(burst);
        jacktest::waitFor([&] { return sequencer.played(); }, std::chrono::seconds(60));
        bridge->settle();
        system.drain();
        std::map<Bytes, size_t> position;
        for (size_t i = 0; i < burst.size(); ++i) position[burst[i]] = i;
        std::map<Bytes, int> times;
        size_t outOfOrder = 0, last = 0;
        {
            std::lock_guard lock(mutex);
            for (const auto& m : heard) {
                if (++times[m] == 1 && position.count(m)) {
                    if (position[m] < last) ++outOfOrder;
                    last = position[m];
                }
            }
        }
        size_t missing = 0, duplicated = 0;
        for (const auto& note : burst) {
            const int n = times[note];
            if (n == 0) ++missing;
            if (n > 1) duplicated += static_cast<size_t>(n - 1);
        }
        state.counters["sent"] = static_cast<double>(burst.size());
        state.counters["missing"] = static_cast<double>(missing);
        state.counters["duplicated"] = static_cast<double>(duplicated);
        state.counters["out_of_order"] = static_cast<double>(outOfOrder);
        state.counters["bridge_dropped"] = static_cast<double>(bridge->droppedEvents());
    }
    ms::MIDIClientDispose(client);
}
BENCHMARK(BM_AsyncServerBurst)->Iterations(1)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
