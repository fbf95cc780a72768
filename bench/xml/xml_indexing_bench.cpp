// Full parse of a large MusicXML score into the indexing reader's tree, against a bare expat pass
// over the same bytes whose callbacks do nothing. The ratio of the two is the cost of the SAX layer
// and of building (and freeing) the tree.
#include <benchmark/benchmark.h>

#include <string>

#include "sax/parser.hpp"
#include "timed_loops.hpp"
#include "xml/indexing.hpp"

namespace {

// A score-partwise document laid out as a notation program exports it: indented elements, a few
// attributes per note, one part of `measures` measures of eight notes each.
std::string generateScore(size_t measures) {
    static const char* const steps[] = {"C", "D", "E", "F", "G", "A", "B"};
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 3.1 Partwise//EN\" "
        "\"http://www.musicxml.org/dtds/partwise.dtd\">\n"
        "<score-partwise version=\"3.1\">\n"
        "  <part-list>\n"
        "    <score-part id=\"P1\">\n"
        "      <part-name>Piano</part-name>\n"
        "      </score-part>\n"
        "    </part-list>\n"
        "  <part id=\"P1\">\n";
    for (size_t m = 0; m < measures; ++m) {
        xml += "    <measure number=\"" + std::to_string(m + 1) + "\" width=\"231.45\">\n";
        if (m % 16 == 0) {
            xml +=
                "      <attributes>\n"
                "        <divisions>4</divisions>\n"
                "        <time>\n          <beats>4</beats>\n          <beat-type>4</beat-type>\n"
                "          </time>\n"
                "        </attributes>\n"
                "      <direction placement=\"above\">\n        <direction-type>\n"
                "          <metronome parentheses=\"no\" default-x=\"-37.06\" "
                "relative-y=\"20.00\">\n"
                "            <beat-unit>quarter</beat-unit>\n            "
                "<per-minute>96</per-minute>\n"
                "            </metronome>\n          </direction-type>\n"
                "        <sound tempo=\"96\"/>\n        </direction>\n";
        }
        for (size_t n = 0; n < 8; ++n) {
            const size_t k = m * 8 + n;
            xml += "      <note default-x=\"" + std::to_string(80 + n * 20) +
                   ".25\" default-y=\"-" + std::to_string(k % 40) + ".00\">\n";
            if (k % 5 == 1) xml += "        <chord/>\n";
            xml += "        <pitch>\n          <step>" + std::string(steps[k % 7]) +
                   "</step>\n          <octave>" + std::to_string(3 + k % 3) +
                   "</octave>\n          </pitch>\n"
                   "        <duration>2</duration>\n"
                   "        <voice>1</voice>\n"
                   "        <type>eighth</type>\n"
                   "        <stem>up</stem>\n"
                   "        <staff>1</staff>\n"
                   "        <beam number=\"1\">" +
                   std::string(n % 2 == 0 ? "begin" : "end") +
                   "</beam>\n"
                   "        </note>\n";
        }
        xml += "      </measure>\n";
    }
    xml += "    </part>\n  </score-partwise>\n";
    return xml;
}

const std::string& score() {
    // About 20 MB.
    static const std::string text = generateScore(7700);
    return text;
}

void BM_BareExpat(benchmark::State& state) {
    xmlbench::timeBareExpatPasses(state, score());
}

// Parse, then drop the tree: the time a caller pays for one document.
void BM_FullParse(benchmark::State& state) {
    xmlbench::timeFullParses(state, score());
}

// The parse alone, the tree being freed outside the timed part.
void BM_ParseOnly(benchmark::State& state) {
    const std::string& text = score();
    for (auto _ : state) {
        auto root = xmlindexing::XMLHash::parse(text);
        state.PauseTiming();
        root = xmlindexing::XMLIndexer(xmlindexing::IndexingError::error());
        state.ResumeTiming();
    }
}

// The SAX layer over expat with a handler that does nothing: the share of the event layer.
void BM_SaxOnly(benchmark::State& state) {
    const std::string& text = score();
    for (auto _ : state) {
        sax::Handler handler;
        sax::Parser parser;
        parser.parse(text, handler);
    }
}

// The walk the score converter does: every note of every measure, its pitch step and duration.
void BM_WalkNotes(benchmark::State& state) {
    const auto root = xmlindexing::XMLHash::parse(score());
    for (auto _ : state) {
        size_t characters = 0;
        for (const auto& measure : root["score-partwise"]["part"]["measure"].all()) {
            for (const auto& child : measure.children()) {
                const auto note = child.element();
                if (note->name() != "note") continue;
                characters += note->attribute("default-x")->text.size();
                characters += child["pitch"]["step"].element()->text().size();
                characters += child["duration"].element()->text().size();
            }
        }
        benchmark::DoNotOptimize(characters);
    }
}

BENCHMARK(BM_BareExpat)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FullParse)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ParseOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SaxOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_WalkNotes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
