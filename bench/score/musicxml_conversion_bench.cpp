// Conversion of a large generated piano score against the bare XML parse of the same text: the
// walk (measures, voices, chords, ties, duplicates, one repeat) should cost little beside parsing.
//
// The score: 2,000 measures in 4/4, two staves. The right hand plays four three-note chords and a
// second voice of quarter notes, the left hand eight eighth notes over two half notes; every
// measure's last chord top note is tied into the next measure; measures 1001 to 1010 are repeated.
// About 50,000 notes.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "../xml/bench_files.hpp"
#include "score/musicxml_converter.hpp"
#include "score/payload.hpp"
#include "xml/indexing.hpp"

namespace {

std::string note(const char* step, int octave, int duration, int voice, int staff,
                 const std::string& extra = "") {
    return std::string("<note>") + extra + "<pitch><step>" + step + "</step><octave>" +
           std::to_string(octave) + "</octave></pitch><duration>" + std::to_string(duration) +
           "</duration><voice>" + std::to_string(voice) + "</voice><type>quarter</type><staff>" +
           std::to_string(staff) + "</staff></note>\n";
}

std::string pianoScore(int measures) {
    static const char* steps[] = {"C", "D", "E", "F", "G", "A", "B"};
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<score-partwise version=\"3.1\">\n<part-list>"
        "<score-part id=\"P1\"><part-name>Piano</part-name></score-part></part-list>\n<part "
        "id=\"P1\">\n";
    for (int m = 1; m <= measures; ++m) {
        text += "<measure number=\"" + std::to_string(m) + "\">\n";
        if (m == 1)
            text +=
                "<attributes><divisions>2</divisions><time><beats>4</beats><beat-type>4</beat-type>"
                "</time><staves>2</staves></attributes>\n"
                "<direction><direction-type><words>Allegro</words></direction-type>"
                "<sound tempo=\"132\" dynamics=\"80\"/></direction>\n";
        if (m == 1001)
            text += "<barline location=\"left\"><repeat direction=\"forward\"/></barline>\n";
        for (int beat = 0; beat < 4; ++beat) {
            const char* root = steps[(m + beat) % 7];
            const bool tieIn = m > 1 && beat == 0, tieOut = beat == 3;
            std::string tie = tieIn ? "<tie type=\"stop\"/>" : "";
            if (tieOut) tie += "<tie type=\"start\"/>";
            text += note(root, 4, 2, 1, 1);
            text += note(steps[(m + beat + 2) % 7], 4, 2, 1, 1, "<chord/>");
            text += note("G", 5, 2, 1, 1, "<chord/>" + tie);
        }
        text += "<backup><duration>8</duration></backup>\n";
        for (int beat = 0; beat < 4; ++beat)
            text += note(steps[(m + beat + 4) % 7], 3, 2, 2, 1);
        text += "<backup><duration>8</duration></backup>\n";
        for (int eighth = 0; eighth < 8; ++eighth)
            text += note(steps[(m + eighth) % 7], 2, 1, 5, 2);
        text += "<backup><duration>8</duration></backup>\n";
        for (int half = 0; half < 2; ++half)
            text += note(steps[(m + half + 3) % 7], 1, 4, 6, 2);
        if (m == 1010)
            text += "<barline location=\"right\"><repeat direction=\"backward\"/></barline>\n";
        text += "</measure>\n";
    }
    return text + "</part>\n</score-partwise>\n";
}

// Made before any benchmark runs, so that no timing includes it.
const std::string scoreText = pianoScore(2000);
const std::string& score() {
    return scoreText;
}

// A benchmark's timed loop of parses of `text` by `hash`, each tree freed within the timing.
void timeParses(benchmark::State& state, const xmlindexing::XMLHash& hash,
                const std::string& text) {
    for (auto _ : state) {
        auto document = hash.parseDocument(text);
        benchmark::DoNotOptimize(document);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The baseline: the XML parse alone, with the same options the converter uses.
void BM_XmlParseOnly(benchmark::State& state) {
    const auto hash = xmlindexing::XMLHash::config(
        [](xmlindexing::XMLHashOptions& options) { options.detectParsingErrors = true; });
    timeParses(state, *hash, score());
}
BENCHMARK(BM_XmlParseOnly)->Unit(benchmark::kMillisecond);

// The whole conversion: parse and walk.
void BM_ConvertScore(benchmark::State& state) {
    size_t notes = 0;
    for (auto _ : state) {
        score::JpsMusicXmlConverter converter;
        converter.parseScore(score());
        notes = converter.noteObjects.size();
        benchmark::DoNotOptimize(notes);
    }
    state.counters["notes"] = static_cast<double>(notes);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * score().size()));
}
BENCHMARK(BM_ConvertScore)->Unit(benchmark::kMillisecond);

// A score file named by SCORE_BENCH_FILE (bench/score/run_bench.sh makes a 14 MB one): the whole
// way from the file to the upload payload, against the XML parse of its text alone.
const char* largeScorePath() {
    return std::getenv("SCORE_BENCH_FILE");
}

const std::string& largeScoreText() {
    static const std::string text = xmlbench::textOfFileNamedBy("SCORE_BENCH_FILE");
    return text;
}

bool haveLargeScore(benchmark::State& state) {
    return xmlbench::haveFileText(state, largeScoreText(), "SCORE_BENCH_FILE");
}

std::shared_ptr<xmlindexing::XMLHash> converterParser() {
    return xmlindexing::XMLHash::config([](xmlindexing::XMLHashOptions& options) {
        options.detectParsingErrors = true;
        options.maximumTreeSize = score::JpsMusicXmlConverter::maximumTreeSize;
    });
}

// The parse of the text (already in memory) into the tree, with the converter's options; the tree
// is freed outside the timed part.
void BM_LargeScoreParseAlone(benchmark::State& state) {
    if (!haveLargeScore(state)) return;
    const auto hash = converterParser();
    for (auto _ : state) {
        auto document = hash->parseDocument(largeScoreText());
        state.PauseTiming();
        document = xmlindexing::XMLIndexer(xmlindexing::IndexingError::error());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * largeScoreText().size()));
}
BENCHMARK(BM_LargeScoreParseAlone)->Unit(benchmark::kMillisecond);

// The same with the tree's teardown timed too.
void BM_LargeScoreParseAndFree(benchmark::State& state) {
    if (haveLargeScore(state)) timeParses(state, *converterParser(), largeScoreText());
}
BENCHMARK(BM_LargeScoreParseAndFree)->Unit(benchmark::kMillisecond);

// File to payload: reading and decoding the file, parsing, the walk, freeing the tree, and the
// piece's JSON.
void BM_LargeScoreToJson(benchmark::State& state) {
    if (!haveLargeScore(state)) return;
    const std::filesystem::path path = largeScorePath();
    size_t notes = 0, bytes = 0;
    for (auto _ : state) {
        score::JpsMusicXmlConverter converter;
        converter.convertToJps(path);
        const std::string payload = score::uploadPayload(path, *converter.jpsData());
        notes = converter.noteObjects.size();
        bytes = payload.size();
        benchmark::DoNotOptimize(payload);
    }
    state.counters["notes"] = static_cast<double>(notes);
    state.counters["json_bytes"] = static_cast<double>(bytes);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * largeScoreText().size()));
}
BENCHMARK(BM_LargeScoreToJson)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
