// The accessor-style reader against bare baselines: building the tree against the event-driven
// parser with a handler that does nothing, and writing the tree against copying the text.

#include <benchmark/benchmark.h>

#include <string>

#include "sax/parser.hpp"
#include "xml/access/access.hpp"

namespace {

using xmlaccess::XML;

// About 1 MB of records with attributes, text, escapes and some mixed content.
const std::string& document() {
    static const std::string text = [] {
        std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalog>\n";
        for (int i = 0; out.size() < (1u << 20); ++i) {
            const std::string n = std::to_string(i);
            out += "  <item id=\"" + n + "\" kind=\"a &amp; b\">\n    <name>Item " + n +
                   " &lt;special&gt;</name>\n    <value>" + n +
                   "</value>\n    <note>before <em>inline</em> after</note>\n  </item>\n";
        }
        return out + "</catalog>\n";
    }();
    return text;
}

void BM_SaxParseBaseline(benchmark::State& state) {
    sax::Handler nothing;
    for (auto _ : state) {
        sax::Parser parser(sax::Options{false, "UTF-8", 0});
        benchmark::DoNotOptimize(parser.parse(document(), nothing));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document().size()));
}
BENCHMARK(BM_SaxParseBaseline)->Unit(benchmark::kMillisecond);

void BM_AccessParse(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(XML::parse(document()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document().size()));
}
BENCHMARK(BM_AccessParse)->Unit(benchmark::kMillisecond);

void BM_CopyTextBaseline(benchmark::State& state) {
    for (auto _ : state) {
        std::string copy = document();
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document().size()));
}
BENCHMARK(BM_CopyTextBaseline)->Unit(benchmark::kMillisecond);

void BM_AccessWrite(benchmark::State& state) {
    const auto parsed = XML::parse(document());
    for (auto _ : state)
        benchmark::DoNotOptimize(XML::convert(parsed, true));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document().size()));
}
BENCHMARK(BM_AccessWrite)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
