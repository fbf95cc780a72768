// Reading and writing whole Standard MIDI Files: every .mid file under the directories named by
// MIDI_BENCH_CORPUS (colon-separated; default: the examples and libraries of Debian's mma), held
// in memory, decoded (and encoded) once per iteration. bytes_per_second counts the file bytes.
// run_peer_bench.sh runs this with the same corpus through npm midi-file and python3-mido.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "midi_file/midi_file.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

const std::vector<Bytes>& corpus() {
    static const std::vector<Bytes> files = [] {
        const char* setting = std::getenv("MIDI_BENCH_CORPUS");
        std::stringstream roots(setting ? setting : "/usr/share/doc/mma/examples:/usr/share/mma/lib");
        std::vector<Bytes> out;
        for (std::string root; std::getline(roots, root, ':');) {
            if (!std::filesystem::exists(root)) continue;
            for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
                if (entry.path().extension() != ".mid") continue;
                std::ifstream in(entry.path(), std::ios::binary);
                out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            }
        }
        return out;
    }();
    return files;
}

int64_t corpusBytes() {
    int64_t total = 0;
    for (const Bytes& file : corpus()) total += static_cast<int64_t>(file.size());
    return total;
}

void decodeCorpus(benchmark::State& state) {
    if (corpus().empty()) state.SkipWithError("no corpus files (install mma)");
    for (auto _ : state) {
        for (const Bytes& file : corpus()) {
            benchmark::DoNotOptimize(midifile::MIDIFile::fromRawData(file));
        }
    }
    state.SetBytesProcessed(state.iterations() * corpusBytes());
    state.counters["files"] = static_cast<double>(corpus().size());
}
BENCHMARK(decodeCorpus)->Unit(benchmark::kMillisecond);

void encodeCorpus(benchmark::State& state) {
    std::vector<midifile::MIDIFile> files;
    for (const Bytes& file : corpus()) files.push_back(midifile::MIDIFile::fromRawData(file));
    if (files.empty()) state.SkipWithError("no corpus files (install mma)");
    for (auto _ : state) {
        for (const auto& file : files) benchmark::DoNotOptimize(file.rawData());
    }
    state.SetBytesProcessed(state.iterations() * corpusBytes());
}
BENCHMARK(encodeCorpus)->Unit(benchmark::kMillisecond);

void decodeAndEncodeCorpus(benchmark::State& state) {
    if (corpus().empty()) state.SkipWithError("no corpus files (install mma)");
    for (auto _ : state) {
        for (const Bytes& file : corpus()) {
            benchmark::DoNotOptimize(midifile::MIDIFile::fromRawData(file).rawData());
        }
    }
    state.SetBytesProcessed(state.iterations() * corpusBytes());
}
BENCHMARK(decodeAndEncodeCorpus)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
