// Decoding a score file's bytes into UTF-8 text: mostly ASCII markup with some lyrics outside
// ASCII, as UTF-8 (strict and replacing, clean and with scattered ill-formed bytes) and as UTF-16
// after a byte-order mark, against a plain copy of the same bytes.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "text_decoding.hpp"

namespace {

using score::detail::decodeScoreText;
using score::detail::Decoding;

// About 16 MB of MusicXML-like text; every eighth note carries a lyric syllable in Latin with
// diacritics, Greek or CJK, and every 32nd a syllable beyond the Basic Multilingual Plane.
std::string scoreText() {
    static const char* const syllables[] = {"Caf\xC3\xA9", "\xCE\xB1\xCE\xBB",
                                            "\xE6\x97\xA5\xE6\x9C\xAC", "na\xC3\xAF"};
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<score-partwise>\n";
    for (size_t k = 0; text.size() < 16'000'000; ++k) {
        text +=
            "      <note default-x=\"80.25\">\n        <pitch>\n          <step>C</step>\n"
            "          <octave>4</octave>\n          </pitch>\n        <duration>2</duration>\n";
        if (k % 8 == 0) text += "        <lyric><text>" + std::string(syllables[k / 8 % 4]);
        if (k % 32 == 0) text += "\xF0\x9D\x84\x9E";
        if (k % 8 == 0) text += "</text></lyric>\n";
        text += "        </note>\n";
    }
    return text + "</score-partwise>\n";
}

std::vector<uint8_t> utf8Bytes() {
    const std::string text = scoreText();
    return {text.begin(), text.end()};
}

// The same text with a stray continuation byte or a cut sequence every 4 KB.
std::vector<uint8_t> illFormedBytes() {
    std::vector<uint8_t> bytes = utf8Bytes();
    for (size_t at = 4096; at < bytes.size(); at += 4096)
        bytes[at] = at % 8192 == 0 ? 0x80 : 0xE2;
    return bytes;
}

// The text as UTF-16 with a byte-order mark, little- or big-endian.
std::vector<uint8_t> utf16Bytes(bool bigEndian) {
    const std::u16string units = [] {
        std::u16string out;
        const std::string text = scoreText();
        for (size_t i = 0; i < text.size();) {
            const auto lead = static_cast<uint8_t>(text[i]);
            const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            char32_t c = length == 1   ? lead
                         : length == 2 ? lead & 0x1F
                         : length == 3 ? lead & 0x0F
                                       : lead & 0x07;
            for (size_t k = 1; k < length; ++k)
                c = (c << 6) | (static_cast<uint8_t>(text[i + k]) & 0x3F);
            i += length;
            if (c >= 0x10000) {
                out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                out += static_cast<char16_t>(c);
            }
        }
        return out;
    }();
    std::vector<uint8_t> bytes =
        bigEndian ? std::vector<uint8_t>{0xFE, 0xFF} : std::vector<uint8_t>{0xFF, 0xFE};
    for (const char16_t unit : units) {
        const auto high = static_cast<uint8_t>(unit >> 8), low = static_cast<uint8_t>(unit);
        bytes.push_back(bigEndian ? high : low);
        bytes.push_back(bigEndian ? low : high);
    }
    return bytes;
}

void run(benchmark::State& state, const std::vector<uint8_t>& bytes, Decoding decoding) {
    for (auto _ : state) {
        auto decoded = decodeScoreText(bytes, decoding);
        benchmark::DoNotOptimize(decoded);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_CopyBaseline(benchmark::State& state) {
    static const std::vector<uint8_t> bytes = utf8Bytes();
    for (auto _ : state) {
        std::string text(bytes.begin(), bytes.end());
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_UTF8Strict(benchmark::State& state) {
    static const std::vector<uint8_t> bytes = utf8Bytes();
    run(state, bytes, Decoding::strict);
}

void BM_UTF8Replacing(benchmark::State& state) {
    static const std::vector<uint8_t> bytes = utf8Bytes();
    run(state, bytes, Decoding::replacing);
}

void BM_UTF8ReplacingIllFormed(benchmark::State& state) {
    static const std::vector<uint8_t> bytes = illFormedBytes();
    run(state, bytes, Decoding::replacing);
}

void BM_UTF16LittleEndian(benchmark::State& state) {
    static const std::vector<uint8_t> bytes = utf16Bytes(false);
    run(state, bytes, Decoding::replacing);
}

void BM_UTF16BigEndian(benchmark::State& state) {
    static const std::vector<uint8_t> bytes = utf16Bytes(true);
    run(state, bytes, Decoding::strict);
}

BENCHMARK(BM_CopyBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UTF8Strict)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UTF8Replacing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UTF8ReplacingIllFormed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UTF16LittleEndian)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UTF16BigEndian)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
