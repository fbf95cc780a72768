// The helpers on the MIDI hot paths, each beside a bare baseline doing the same work by hand:
// reading a file's bytes one at a time, writing bytes as hex text for descriptions and logs,
// building a packet list on the send path, and decoding text-event bytes.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "midi_support/data_reader.hpp"
#include "midi_support/number_text.hpp"
#include "midi_support/packet_builders.hpp"
#include "midi_support/text_encoding.hpp"

namespace {

std::vector<uint8_t> sampleBytes(size_t n) {
    std::vector<uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), uint8_t{0});
    return bytes;
}

void readerReadByte(benchmark::State& state) {
    const auto bytes = sampleBytes(65536);
    for (auto _ : state) {
        midisupport::PassiveDataReader reader(bytes);
        unsigned sum = 0;
        while (reader.remainingByteCount() > 0)
            sum += reader.readByte();
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * 65536);
}
BENCHMARK(readerReadByte);

void baselineIndexedLoop(benchmark::State& state) {
    const auto bytes = sampleBytes(65536);
    for (auto _ : state) {
        unsigned sum = 0;
        for (size_t i = 0; i < bytes.size(); ++i) {
            benchmark::DoNotOptimize(i);
            sum += bytes[i];
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * 65536);
}
BENCHMARK(baselineIndexedLoop);

void hexStringOfBytes(benchmark::State& state) {
    const auto bytes = sampleBytes(256);
    for (auto _ : state) {
        benchmark::DoNotOptimize(midisupport::hexString(bytes, 2, false, " "));
    }
}
BENCHMARK(hexStringOfBytes);

void baselineSnprintfHex(benchmark::State& state) {
    const auto bytes = sampleBytes(256);
    for (auto _ : state) {
        std::string out;
        char piece[4];
        for (size_t i = 0; i < bytes.size(); ++i) {
            std::snprintf(piece, sizeof piece, i == 0 ? "%02X" : " %02X", bytes[i]);
            out += piece;
        }
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(baselineSnprintfHex);

const std::vector<std::vector<uint8_t>> sendMessages = {
    {0x90, 0x3C, 0x7F}, {0x80, 0x3C, 0x00}, {0xB0, 0x07, 0x64}};

void makePacketListOfThree(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(midisupport::makePacketList(sendMessages));
    }
}
BENCHMARK(makePacketListOfThree);

void baselinePacketListByHand(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<uint8_t> list(4 + 3 * 16);
        const uint32_t count = 3;
        std::memcpy(list.data(), &count, 4);
        const uint64_t stamp = midiservices::currentHostTime();
        size_t at = 4;
        for (const auto& message : sendMessages) {
            const auto length = static_cast<uint16_t>(message.size());
            std::memcpy(list.data() + at, &stamp, 8);
            std::memcpy(list.data() + at + 8, &length, 2);
            std::memcpy(list.data() + at + 10, message.data(), message.size());
            at = (at + 10 + message.size() + 3) & ~size_t{3};
        }
        benchmark::DoNotOptimize(list);
    }
}
BENCHMARK(baselinePacketListByHand);

void nonLossyDecodeText(benchmark::State& state) {
    std::string text;
    while (text.size() < 1024)
        text += "Lyric line \\351t\\351 ";
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    for (auto _ : state) {
        benchmark::DoNotOptimize(midisupport::nonLossyASCIIString(bytes));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(nonLossyDecodeText);

void baselineCopyText(benchmark::State& state) {
    std::string text;
    while (text.size() < 1024)
        text += "Lyric line \\351t\\351 ";
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::string(bytes.begin(), bytes.end()));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(baselineCopyText);

}  // namespace

BENCHMARK_MAIN();
