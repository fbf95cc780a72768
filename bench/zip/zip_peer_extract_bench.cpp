// Extracting every entry of a large archive into memory, with this library and with libzip, each
// checking every entry's CRC-32. The archive is named by ZIP_BENCH_ARCHIVE (made by
// bench/zip/run_extract_peer_bench.sh from a tree such as /usr). Both sides append each entry's
// bytes to one reused buffer, as a caller that keeps an entry in memory does.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "peer_libzip.hpp"
#include "zip/archive.hpp"

namespace {

// Where the entries go: one reused buffer, cleared before each entry.
struct Sink {
    zip::Bytes out;
    uint64_t bytes = 0;
    int64_t entries = 0;
    void begin() { out.clear(); }
    void piece(const uint8_t* data, size_t size) { out.insert(out.end(), data, data + size); }
    void end() {
        bytes += out.size();
        ++entries;
        benchmark::DoNotOptimize(out.data());
    }
};

// Runs `extractEvery(path, sink)` once per iteration; it returns "" or an error.
template <class Extract>
void measure(benchmark::State& state, Extract&& extractEvery) {
    const char* path = std::getenv("ZIP_BENCH_ARCHIVE");
    if (path == nullptr) {
        state.SkipWithError("ZIP_BENCH_ARCHIVE names no archive");
        return;
    }
    Sink sink;
    for (auto _ : state) {
        const std::string error = extractEvery(path, sink);
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(sink.bytes));
    state.counters["entries"] =
        static_cast<double>(sink.entries) / static_cast<double>(state.iterations());
}

void BM_ExtractEveryEntryToMemory(benchmark::State& state) {
    measure(state, [](const char* path, Sink& sink) {
        const zip::Archive archive(path, zip::Archive::AccessMode::read);
        for (const zip::Entry& entry : archive) {
            sink.begin();
            archive.extract(entry,
                            [&](zip::ByteView piece) { sink.piece(piece.data(), piece.size()); });
            sink.end();
        }
        return std::string();
    });
}

void BM_LibzipExtractEveryEntryToMemory(benchmark::State& state) {
    measure(state, [](const char* path, Sink& sink) {
        return zipbench::libzipExtractEveryEntry(
            path, [&] { sink.begin(); },
            [&](const uint8_t* data, size_t size) { sink.piece(data, size); }, [&] { sink.end(); });
    });
}

BENCHMARK(BM_ExtractEveryEntryToMemory)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LibzipExtractEveryEntryToMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
