// The system and SysEx encoders on the send path: one-word system messages should cost no more
// than packing the word by hand, and cutting a SysEx message into packets should stay close to
// copying its bytes. Each library benchmark is paired with a bare baseline.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "midi_core/events/sysex7.hpp"
#include "midi_core/events/sysex8.hpp"
#include "midi_core/events/system_real_time.hpp"

namespace {

using namespace midicore;
using namespace midicore::events;

constexpr size_t count = 4096;

void BM_SystemMessagesToWordsAndBytes(benchmark::State& state) {
    for (auto _ : state) {
        uint32_t sum = 0;
        for (size_t i = 0; i < count; ++i) {
            const auto group = UInt4::truncating(i);
            sum += TimingClock(group).umpRawWords()[0];
            sum += SongPositionPointer(UInt14::truncating(i), group).umpRawWords()[0];
            sum += TimingClock(group).midi1RawBytes()[0];
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count * 3));
}
BENCHMARK(BM_SystemMessagesToWordsAndBytes);

void BM_BareSystemWords(benchmark::State& state) {
    for (auto _ : state) {
        uint32_t sum = 0;
        for (size_t i = 0; i < count; ++i) {
            const uint32_t group = i & 0xF;
            benchmark::DoNotOptimize(group);
            sum += 0x10F80000u | group << 24;
            sum += 0x10F20000u | group << 24 | (i & 0x7F) << 8 | (i >> 7 & 0x7F);
            sum += 0xF8;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count * 3));
}
BENCHMARK(BM_BareSystemWords);

std::vector<uint8_t> body(size_t n) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i & 0x7F);
    return b;
}

// Bytes per second of message body cut into type-3 and type-5 packets.
void BM_SysEx7Packets(benchmark::State& state) {
    const SysEx7 message(SysExManufacturer::oneByte(UInt7(0x41)), body(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(message.umpRawWords());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}
BENCHMARK(BM_SysEx7Packets)->Arg(16)->Arg(1024);

void BM_SysEx8Packets(benchmark::State& state) {
    const SysEx8 message(SysExManufacturer::oneByte(UInt7(0x41)), body(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(message.umpRawWords());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}
BENCHMARK(BM_SysEx8Packets)->Arg(16)->Arg(1024);

// The floor: copying the body into a vector of two-word packets, six bytes at a time.
void BM_BareSixBytePieces(benchmark::State& state) {
    const auto bytes = body(state.range(0));
    for (auto _ : state) {
        std::vector<uint32_t> words;
        words.reserve(bytes.size() / 3 + 2);
        for (size_t k = 0; k < bytes.size(); k += 6) {
            uint8_t piece[8]{};
            const size_t n = std::min<size_t>(6, bytes.size() - k);
            std::memcpy(piece + 2, bytes.data() + k, n);
            piece[0] = 0x30;
            piece[1] = static_cast<uint8_t>(n);
            words.push_back(uint32_t{piece[0]} << 24 | uint32_t{piece[1]} << 16 | piece[2] << 8 | piece[3]);
            words.push_back(uint32_t{piece[4]} << 24 | uint32_t{piece[5]} << 16 | piece[6] << 8 | piece[7]);
        }
        benchmark::DoNotOptimize(words.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}
BENCHMARK(BM_BareSixBytePieces)->Arg(16)->Arg(1024);

}  // namespace
