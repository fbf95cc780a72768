// The MIDI integers and value conversions sit on every encode and decode path. Each benchmark
// pairs the library call with a bare baseline doing the same work on plain integers.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <mutex>
#include <random>
#include <shared_mutex>
#include <vector>

#include "midi_core/chan_voice_values.hpp"
#include "midi_core/scaling.hpp"
#include "midi_core/thread_safe_access.hpp"
#include "midi_core/unsigned_integer.hpp"

namespace {

using namespace midicore;

constexpr size_t count = 4096;

std::vector<uint8_t> dataBytes() {
    std::mt19937 random(1);
    std::vector<uint8_t> bytes(count);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(random() & 0x7F);
    return bytes;
}

std::vector<double> fractions() {
    std::mt19937 random(2);
    std::uniform_real_distribution<double> any(0.0, 1.0);
    std::vector<double> values(count);
    for (auto& v : values)
        v = any(random);
    return values;
}

// Data bytes pairwise into 14-bit values through checked UInt7 construction.
void BM_CheckedUInt7PairsToUInt14(benchmark::State& state) {
    const auto bytes = dataBytes();
    for (auto _ : state) {
        uint32_t sum = 0;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            sum += UInt14::fromUInt7Pair(UInt7Pair{UInt7(bytes[i]), UInt7(bytes[i + 1])}).value();
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count / 2));
}
BENCHMARK(BM_CheckedUInt7PairsToUInt14);

void BM_BareBytePairsTo14Bits(benchmark::State& state) {
    const auto bytes = dataBytes();
    for (auto _ : state) {
        uint32_t sum = 0;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            if (bytes[i] > 0x7F || bytes[i + 1] > 0x7F) std::abort();
            sum += uint32_t{bytes[i]} << 7 | bytes[i + 1];
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count / 2));
}
BENCHMARK(BM_BareBytePairsTo14Bits);

// A velocity given as a fraction, read as MIDI 1.0 and MIDI 2.0 integers.
void BM_ValueFormVelocity(benchmark::State& state) {
    std::vector<ChanVoice7Bit16BitValue> values;
    for (double x : fractions())
        values.push_back(ChanVoice7Bit16BitValue::unitInterval(x));
    for (auto _ : state) {
        uint32_t sum = 0;
        for (const auto& v : values)
            sum += v.midi1Value().value() + v.midi2Value();
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}
BENCHMARK(BM_ValueFormVelocity);

void BM_BareVelocityScaling(benchmark::State& state) {
    const auto values = fractions();
    for (auto _ : state) {
        uint32_t sum = 0;
        for (double x : values) {
            sum += static_cast<uint32_t>(x * 127.0) + static_cast<uint32_t>(x * 65535.0);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}
BENCHMARK(BM_BareVelocityScaling);

// One uncontended read of a guarded value.
void BM_ThreadSafeAccessRead(benchmark::State& state) {
    ThreadSafeAccess<int64_t> value(42);
    for (auto _ : state)
        benchmark::DoNotOptimize(value.wrappedValue());
}
BENCHMARK(BM_ThreadSafeAccessRead);

void BM_BareSharedMutexRead(benchmark::State& state) {
    std::shared_mutex mutex;
    int64_t value = 42;
    for (auto _ : state) {
        std::shared_lock lock(mutex);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_BareSharedMutexRead);

}  // namespace

BENCHMARK_MAIN();
