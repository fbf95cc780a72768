// Converts every score of a corpus and compares the notes with what an independent renderer plays
// for it (tests/data/musicxml/README.md). SCORE_CORPUS_DIR names a further folder laid out the same
// way; SCORE_CORPUS_OUT a folder that receives each converted piece as NAME.musicxml.json or
// NAME.mxl.json.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "score/musicxml_converter.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path dataDir = fs::path(PROJECT_TEST_DATA_DIR) / "musicxml";

struct Outcome {
    int exitCode;
    std::string output;
};

Outcome run(const std::string& command) {
    Outcome outcome{-1, {}};
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            outcome.output.append(buffer, n);
        outcome.exitCode = pclose(pipe);
    }
    return outcome;
}

std::string quoted(const fs::path& path) {
    std::string out = "'";
    for (char c : path.string())
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::vector<fs::path> scoresIn(const fs::path& dir) {
    std::vector<fs::path> scores;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const auto ext = entry.path().extension();
        if (entry.is_regular_file() && (ext == ".musicxml" || ext == ".mxl"))
            scores.push_back(entry.path());
    }
    std::sort(scores.begin(), scores.end());
    return scores;
}

fs::path outputFolder() {
    if (const char* out = std::getenv("SCORE_CORPUS_OUT"); out && *out) {
        fs::create_directories(out);
        return out;
    }
    const fs::path temp = fs::temp_directory_path() / ("score_corpus_" + std::to_string(getpid()));
    fs::create_directories(temp);
    return temp;
}

// Converts every score of `dir`: one with NAME.expected.json beside it must match it, one without
// must be refused with a sentence. Returns the number of scores seen.
size_t checkCorpus(const fs::path& dir) {
    const fs::path out = outputFolder();
    size_t count = 0;
    for (const auto& scoreFile : scoresIn(dir)) {
        ++count;
        SCOPED_TRACE(scoreFile.string());
        const fs::path expected = dir / (scoreFile.stem().string() + ".expected.json");
        score::JpsMusicXmlConverter converter;
        if (!fs::exists(expected)) {
            try {
                converter.convertToJps(scoreFile);
                ADD_FAILURE() << "converted a score that has no expected notes";
            } catch (const score::JpsConversionError& e) {
                const std::string message = e.what();
                EXPECT_TRUE(!message.empty() && message.back() == '.') << message;
            }
            EXPECT_EQ(converter.jpsData(), nullptr);
            continue;
        }
        try {
            converter.convertToJps(scoreFile);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "conversion failed: " << e.what();
            continue;
        }
        const fs::path json = out / (scoreFile.filename().string() + ".json");
        std::ofstream(json, std::ios::binary) << converter.jpsData()->json();
        const auto result = run("python3 " + quoted(dataDir / "compare-expected.py") + " " +
                                quoted(json) + " " + quoted(expected));
        EXPECT_EQ(result.exitCode, 0) << result.output;
        EXPECT_EQ(result.output.rfind("match", 0), 0u) << result.output;
    }
    if (!std::getenv("SCORE_CORPUS_OUT")) fs::remove_all(out);
    return count;
}

TEST(ScoreCorpus, EveryScoreMatchesWhatAnIndependentRendererPlays) {
    EXPECT_EQ(checkCorpus(dataDir), 7u);
}

// Ties out of pickup bars, a pickup "0" without the implicit attribute, composite time signatures,
// unmeasured music, tempo marks ahead of the first time signature or without any, and a file in
// ISO-8859-1; their expected notes give lengths as well, and the newer ones the tempo marks.
TEST(ScoreCorpus, ScoresAsExportsWriteThemMatchInOnsetAndLength) {
    EXPECT_EQ(checkCorpus(dataDir / "exports"), 9u);
}

TEST(ScoreCorpus, ScoreWithFourPartsIsRefused) {
    score::JpsMusicXmlConverter converter;
    try {
        converter.convertToJps(dataDir / "brassed-up.mxl");
        FAIL() << "converted";
    } catch (const score::JpsConversionError& e) {
        EXPECT_STREQ(e.what(),
                     "The score has 4 parts; only scores with a single part can be converted.");
    }
}

TEST(ScoreCorpus, FurtherCorpusNamedByTheEnvironment) {
    const char* dir = std::getenv("SCORE_CORPUS_DIR");
    if (!dir || !*dir) GTEST_SKIP() << "SCORE_CORPUS_DIR is not set";
    ASSERT_TRUE(fs::is_directory(dir)) << dir;
    EXPECT_GT(checkCorpus(dir), 0u);
}

}  // namespace
