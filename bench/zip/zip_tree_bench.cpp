// Zipping a tree of 10,000 files (128 MB) into a new deflated archive, against Info-ZIP's
// `zip -r -q` of the same tree. bench/zip/run_tree_peer_bench.sh prints the ratio.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "zip/tree.hpp"

namespace {

namespace fs = std::filesystem;
constexpr int kFiles = 10000;

struct Tree {
    fs::path dir;
    fs::path root;

    Tree() {
        std::string pattern = (fs::temp_directory_path() / "ziptreebench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        root = dir / "tree";
        // 100 folders of 100 files of score-like text, 200 bytes to 25 KB each, 128 MB in all.
        std::mt19937 rng(7);
        for (int i = 0; i < kFiles; ++i) {
            const fs::path folder = root / ("part" + std::to_string(i / 100));
            if (i % 100 == 0) fs::create_directories(folder);
            std::string text;
            const size_t length = 200 + rng() % 25200;
            while (text.size() < length) {
                text += "<note><pitch>" + std::to_string(rng() % 88) + "</pitch><duration>" +
                        std::to_string(rng() % 1000) + "</duration></note>\n";
            }
            std::ofstream(folder / ("file" + std::to_string(i) + ".xml")) << text;
        }
    }
    ~Tree() { fs::remove_all(dir); }
};

Tree& tree() {
    static Tree t;
    return t;
}

void BM_ZipItemTree(benchmark::State& state) {
    Tree& t = tree();
    const fs::path archive = t.dir / "ours.zip";
    for (auto _ : state) {
        fs::remove(archive);
        zip::zipItem(t.root, archive, true, zip::CompressionMethod::deflate);
    }
    state.counters["files"] = kFiles;
}

void BM_InfoZipRecursive(benchmark::State& state) {
    Tree& t = tree();
    const fs::path archive = t.dir / "theirs.zip";
    const std::string command =
        "cd '" + t.dir.string() + "' && zip -r -q '" + archive.string() + "' tree";
    for (auto _ : state) {
        fs::remove(archive);
        if (std::system(command.c_str()) != 0) state.SkipWithError("zip failed");
    }
    state.counters["files"] = kFiles;
}

BENCHMARK(BM_ZipItemTree)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_InfoZipRecursive)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
