// The element tree of a large score against its peers, on one file in one run: a bare expat pass
// whose callbacks do nothing (the floor under any tree built over expat; given the document at once,
// and in pieces) and, where libxml2 is there, its DOM. Each timing parses the whole text and frees
// what it built.
//
// Memory: each tree is built once in a child process of its own and the growth of that process's
// resident set, with the tree alive and the parser gone, is reported per byte of input
// ("tree_bytes_per_input_byte"). Peers are measured the same way, so allocator slack and page
// granularity count alike for all.
//
//   XML_TREE_SCORE=<file> xml_tree_peer_bench        (bench/xml/run_peer_bench.sh makes the file)
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#ifdef XML_TREE_BENCH_LIBXML2
#include <libxml/parser.h>
#include <libxml/tree.h>
#endif

#include "bench_files.hpp"
#include "timed_loops.hpp"
#include "xml/indexing.hpp"

namespace {

const std::string& score() {
    static const std::string text = xmlbench::textOfFileNamedBy("XML_TREE_SCORE");
    return text;
}

bool haveScore(benchmark::State& state) {
    return xmlbench::haveFileText(state, score(), "XML_TREE_SCORE");
}

long residentBytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

// Runs `build` in a child process and returns how far the child's resident set grew while the
// structure it returns is alive; `build` returns a function that frees it. -1 on failure.
double residentGrowthPerInputByte(const std::function<std::function<void()>()>& build) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const long before = residentBytes();
        const auto release = build();
        const long growth = residentBytes() - before;
        if (write(fds[1], &growth, sizeof growth) != sizeof growth) _exit(1);
        release();
        _exit(0);
    }
    close(fds[1]);
    long growth = -1;
    if (child < 0 || read(fds[0], &growth, sizeof growth) != sizeof growth) growth = -1;
    close(fds[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return growth < 0 ? -1 : static_cast<double>(growth) / static_cast<double>(score().size());
}

void BM_BareExpat(benchmark::State& state) {
    if (haveScore(state)) xmlbench::timeBareExpatPasses(state, score());
}
BENCHMARK(BM_BareExpat)->Unit(benchmark::kMillisecond);

// The same pass handing expat the document in pieces, as the event layer does: expat copies what
// it is given into a buffer of its own, and a piece at a time that buffer stays small.
void BM_BareExpatInPieces(benchmark::State& state) {
    if (haveScore(state))
        xmlbench::timeBareExpatPasses(state, score(), static_cast<size_t>(state.range(0)));
}
BENCHMARK(BM_BareExpatInPieces)->Unit(benchmark::kMillisecond)->Arg(1 << 16);

// The indexing reader's full parse with default options, and the tree dropped.
void BM_IndexingTree(benchmark::State& state) {
    if (!haveScore(state)) return;
    xmlbench::timeFullParses(state, score());
    state.counters["tree_bytes_per_input_byte"] = residentGrowthPerInputByte([] {
        auto* root = new xmlindexing::XMLIndexer(xmlindexing::XMLHash::parse(score()));
        return std::function<void()>([root] { delete root; });
    });
}
BENCHMARK(BM_IndexingTree)->Unit(benchmark::kMillisecond);

// The same parse with the tree freed outside the timed part: what building alone costs.
void BM_IndexingTreeBuildOnly(benchmark::State& state) {
    if (!haveScore(state)) return;
    for (auto _ : state) {
        auto root = xmlindexing::XMLHash::parse(score());
        state.PauseTiming();
        root = xmlindexing::XMLIndexer(xmlindexing::IndexingError::error());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_IndexingTreeBuildOnly)->Unit(benchmark::kMillisecond);

// The tree the score converter builds: no reference count per node, freed at once with its root.
void BM_TransientTree(benchmark::State& state) {
    if (!haveScore(state)) return;
    const std::string& text = score();
    for (auto _ : state) {
        auto root =
            xmlindexing::detail::parseTransiently(text, std::make_shared<xmlindexing::XMLHashOptions>());
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["tree_bytes_per_input_byte"] = residentGrowthPerInputByte([] {
        auto* root = new xmlindexing::XMLIndexer(xmlindexing::detail::parseTransiently(
            score(), std::make_shared<xmlindexing::XMLHashOptions>()));
        return std::function<void()>([root] { delete root; });
    });
}
BENCHMARK(BM_TransientTree)->Unit(benchmark::kMillisecond);

#ifdef XML_TREE_BENCH_LIBXML2
void BM_Libxml2Dom(benchmark::State& state) {
    if (!haveScore(state)) return;
    const std::string& text = score();
    auto parse = [&] {
        return xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                             XML_PARSE_NONET);
    };
    for (auto _ : state) {
        xmlDocPtr document = parse();
        if (document == nullptr) state.SkipWithError("libxml2 refused the score");
        xmlFreeDoc(document);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["tree_bytes_per_input_byte"] = residentGrowthPerInputByte([&] {
        xmlDocPtr document = parse();
        return std::function<void()>([document] { xmlFreeDoc(document); });
    });
}
BENCHMARK(BM_Libxml2Dom)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
