#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "json_check.hpp"
#include "score/json.hpp"
#include "score/payload.hpp"
#include "score/piece.hpp"

namespace {

using score::JSONEncodingError;
using score::JSONWriter;
using scoretest::describeJSON;

std::string floatText(float value) {
    JSONWriter writer;
    writer.value(value);
    return writer.finish();
}

TEST(JSONNumbers, FloatsAreWrittenInTheShortestFormThatReadsBackAsTheSameFloat) {
    struct Case {
        float value;
        const char* text;
    };
    const std::vector<Case> cases = {
        {120.0f, "120"},
        {30.0f, "30"},
        {100.0f / 3.0f, "33.333332"},
        {60.0f, "60"},
        {0.1f, "0.1"},
        {-0.5f, "-0.5"},
        {106.67f, "106.67"},
        {16777216.0f, "16777216"},
        {std::numeric_limits<float>::max(), "3.4028235e+38"},
        {std::numeric_limits<float>::denorm_min(), "1e-45"},
    };
    for (const auto& c : cases) {
        const std::string text = floatText(c.value);
        EXPECT_EQ(text, c.text) << c.value;
        EXPECT_EQ(std::strtof(text.c_str(), nullptr), c.value) << text;
    }
}

TEST(JSONNumbers, IntegersAreWrittenWithoutFractionOrExponent) {
    for (const auto& [value, text] : std::vector<std::pair<int64_t, std::string>>{
             {0, "0"},
             {-132300, "-132300"},
             {std::numeric_limits<int64_t>::max(), "9223372036854775807"},
             {std::numeric_limits<int64_t>::min(), "-9223372036854775808"}}) {
        JSONWriter writer;
        writer.value(value);
        EXPECT_EQ(writer.finish(), text);
    }
}

TEST(JSONNumbers, NonFiniteFloatsAreRefusedWithTheirPlace) {
    for (float value :
         {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
          std::numeric_limits<float>::quiet_NaN()}) {
        JSONWriter writer;
        writer.beginObject();
        writer.key("bpm");
        try {
            writer.value(value);
            FAIL() << "accepted " << value;
        } catch (const JSONEncodingError& e) {
            EXPECT_EQ(e.errorCase(), JSONEncodingError::Case::invalidValue);
            EXPECT_NE(std::string(e.what()).find("bpm"), std::string::npos) << e.what();
        }
    }
}

TEST(JSONStrings, AreEscapedSoThatAReaderGetsTheSameText) {
    const std::vector<std::string> texts = {"plain",
                                            "quote \" and backslash \\",
                                            "line\nfeed\ttab\rreturn",
                                            std::string("nul\0byte", 8),
                                            "\x01\x1f\x7f",
                                            "bell\b form\f",
                                            "Fr\xc3\xa8re Jacques \xe2\x99\xab \xf0\x9d\x84\x9e",
                                            "/slash"};
    for (const auto& text : texts) {
        JSONWriter writer;
        writer.beginObject();
        writer.key("title");
        writer.value(std::string_view(text));
        writer.endObject();
        const std::string json = writer.finish();
        // Python gives back the decoded text; compare against its own quoting of ours.
        std::string expected = "title = str ";
        {
            JSONWriter quoted;
            quoted.value(std::string_view(text));
            expected += quoted.finish();
        }
        // Python decodes the string and quotes it again by the standard rules: the same text.
        EXPECT_EQ(describeJSON(json), expected + "\n") << json;
        // No control character may stand raw inside a JSON string.
        for (char c : json.substr(1, json.size() - 2)) {
            if (c != '\n') {
                EXPECT_GE(static_cast<unsigned char>(c), 0x20u) << json;
            }
        }
    }
}

TEST(JSONStrings, PythonReadsBackExactlyTheTextWritten) {
    JSONWriter writer;
    writer.beginArray();
    writer.value("a\"b\\c\nd\x01");
    writer.value("\xc3\xa9");
    writer.endArray();
    EXPECT_EQ(describeJSON(writer.finish()),
              "[0] = str \"a\\\"b\\\\c\\nd\\u0001\"\n"
              "[1] = str \"\xc3\xa9\"\n");
}

TEST(JSONStrings, IllFormedUTF8IsRefused) {
    for (const char* text : {"\xff", "abc\xc3", "\xed\xa0\x80", "\xc0\xaf", "\xf4\x90\x80\x80"}) {
        JSONWriter writer;
        EXPECT_THROW(writer.value(text), JSONEncodingError) << text;
    }
}

TEST(JSONWriterStructure, MisuseIsRefused) {
    {
        JSONWriter writer;
        writer.beginObject();
        EXPECT_THROW(writer.value(1), JSONEncodingError);  // no key
    }
    {
        JSONWriter writer;
        writer.beginArray();
        EXPECT_THROW(writer.key("x"), JSONEncodingError);
        EXPECT_THROW(writer.endObject(), JSONEncodingError);
        EXPECT_THROW(writer.finish(), JSONEncodingError);  // incomplete
    }
    {
        JSONWriter writer;
        writer.value(1);
        EXPECT_THROW(writer.value(2), JSONEncodingError);  // a second top-level value
    }
}

TEST(JSONWriterLayout, PrettyPrintsWithTwoSpacesAndSpacedColons) {
    JSONWriter writer;
    writer.beginObject();
    writer.key("a");
    writer.beginArray();
    writer.value(1);
    writer.beginObject();
    writer.endObject();
    writer.endArray();
    writer.key("b");
    writer.beginArray();
    writer.endArray();
    writer.endObject();
    EXPECT_EQ(writer.finish(),
              "{\n"
              "  \"a\" : [\n"
              "    1,\n"
              "    {}\n"
              "  ],\n"
              "  \"b\" : []\n"
              "}");
}

// A piece with the records a conversion of one note yields.
std::shared_ptr<score::JPSData> smallPiece(score::NoteRef& note) {
    note = std::make_shared<score::NoteObject>(0, 48, 44100, 0);
    return std::make_shared<score::JPSData>(
        std::make_shared<score::JPSInfo>(4, 4), std::vector<score::NoteRef>{note},
        std::vector<score::TempoRef>{std::make_shared<score::TempoObject>(0, 120.0f, 30.0f)},
        std::vector<score::DynamicsRef>{std::make_shared<score::DynamicsObject>(0, 60.0f)},
        std::vector<score::SectionRef>{});
}

TEST(PieceJSON, HasItsKeysInOrderWithIntegersAndDefaultRecords) {
    score::NoteRef note;
    auto piece = smallPiece(note);
    EXPECT_EQ(describeJSON(piece->json()),
              "info.beatsPerMeasure = int 4\n"
              "info.beatType = int 4\n"
              "notes[0].start = int 0\n"
              "notes[0].note = int 48\n"
              "notes[0].duration = int 44100\n"
              "notes[0].staff = int 0\n"
              "tempos[0].start = int 0\n"
              "tempos[0].qnpm = int 120\n"
              "tempos[0].bpm = int 30\n"
              "dynamics[0].start = int 0\n"
              "dynamics[0].dynamics = int 60\n"
              "sections = []\n");
    EXPECT_NE(piece->json().find("\"qnpm\" : 120,\n"), std::string::npos);
}

TEST(PieceJSON, PresentOptionalsFollowTheFourFixedKeysAndSectionsAreWritten) {
    score::NoteRef note;
    auto piece = smallPiece(note);
    note->finger = 3;
    note->accent = "marcato";
    note->decoration = "trill";
    piece->sections.push_back(std::make_shared<score::SectionObject>(176400, "B"));
    piece->tempos[0]->qnpm = 100.0f / 3.0f;
    const std::string seen = describeJSON(piece->json());
    EXPECT_NE(seen.find("notes[0].staff = int 0\n"
                        "notes[0].finger = int 3\n"
                        "notes[0].accent = str \"marcato\"\n"
                        "notes[0].decoration = str \"trill\"\n"),
              std::string::npos)
        << seen;
    EXPECT_NE(seen.find("tempos[0].qnpm = float 33.333332\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("sections[0].start = int 176400\nsections[0].title = str \"B\"\n"),
              std::string::npos)
        << seen;
}

TEST(PieceJSON, WritesRecordsAsTheyAreWhenEncodedNotWhenTheDocumentWasMade) {
    score::NoteRef note;
    auto piece = smallPiece(note);
    note->duration += 88200;  // a tie extended after the document was made
    EXPECT_NE(describeJSON(piece->json()).find("notes[0].duration = int 132300\n"),
              std::string::npos);
}

TEST(PieceJSON, NonFiniteValueMakesTheWholeEncodingFailWithNoOutput) {
    score::NoteRef note;
    auto piece = smallPiece(note);
    piece->tempos.push_back(
        std::make_shared<score::TempoObject>(0, 90.0f, std::numeric_limits<float>::infinity()));
    std::string out = "untouched";
    try {
        out = piece->json();
        FAIL() << "encoded a non-finite bpm";
    } catch (const JSONEncodingError& e) {
        EXPECT_NE(std::string(e.what()).find("tempos[1].bpm"), std::string::npos) << e.what();
    }
    EXPECT_EQ(out, "untouched");
    EXPECT_THROW(score::uploadPayload("Etude.musicxml", *piece), JSONEncodingError);
}

TEST(PieceJSON, EmptyPieceIsComplete) {
    const score::JPSData empty;
    EXPECT_EQ(describeJSON(empty.json()),
              "info.beatsPerMeasure = int 0\n"
              "info.beatType = int 0\n"
              "notes = []\n"
              "tempos = []\n"
              "dynamics = []\n"
              "sections = []\n");
}

TEST(UploadPayload, IsTheBaseNameWithJpsThenALineFeedThenTheJSON) {
    const score::JPSData piece;
    for (const auto& [file, firstLine] : std::vector<std::pair<std::string, std::string>>{
             {"Etude.musicxml", "Etude.jps"},
             {"a.b.musicxml", "a.b.jps"},
             {"Etude", "Etude.jps"},
             {"/home/me/scores/Nocturne.mxl", "Nocturne.jps"},
             {"dir.v2/Song.xml", "Song.jps"},
             {"Caf\xc3\xa9 cr\xc3\xa8me.MXL", "Caf\xc3\xa9 cr\xc3\xa8me.jps"}}) {
        const std::string payload = score::uploadPayload(file, piece);
        EXPECT_EQ(payload, firstLine + "\n" + piece.json()) << file;
    }
}

}  // namespace
