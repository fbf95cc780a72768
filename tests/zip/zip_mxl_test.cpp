// Compressed scores as other tools write them, loaded through the score converter: the archive
// layer must hand it the score whatever form the entries' data descriptors take.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "score/musicxml_converter.hpp"
#include "zip_test_support.hpp"

namespace {

using namespace ziptest;

const std::string kScore =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<score-partwise version=\"3.1\"><part-list><score-part id=\"P1\"><part-name>Piano"
    "</part-name></score-part></part-list><part id=\"P1\"><measure number=\"1\"><attributes>"
    "<divisions>1</divisions><time><beats>4</beats><beat-type>4</beat-type></time></attributes>"
    "<note><pitch><step>C</step><octave>4</octave></pitch><duration>1</duration></note>"
    "<note><pitch><step>E</step><octave>4</octave></pitch><duration>2</duration></note>"
    "</measure></part></score-partwise>\n";

const std::string kContainer =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<container><rootfiles>"
    "<rootfile full-path=\"score.xml\" media-type=\"application/vnd.recordare.musicxml+xml\"/>"
    "</rootfiles></container>\n";

// The notes of a converted score as (start, note, duration).
std::vector<std::tuple<int64_t, int64_t, int64_t>> notesOf(const fs::path& file) {
    score::JpsMusicXmlConverter converter;
    converter.convertToJps(file);
    std::vector<std::tuple<int64_t, int64_t, int64_t>> notes;
    for (const auto& n : converter.noteObjects)
        notes.emplace_back(n->start, n->note, n->duration);
    return notes;
}

TEST(ZipCompressedScore, LoadsWhateverFormItsDescriptorsTake) {
    ScratchDir dir;
    writeFile(dir / "plain.musicxml", kScore);
    const auto expected = notesOf(dir / "plain.musicxml");
    ASSERT_EQ(expected.size(), 2u);
    for (const auto& f : descriptorForms) {
        const fs::path file = dir / (std::string(f.name) + ".mxl");
        writeFile(file, archiveOf({{"META-INF/container.xml", kContainer}, {"score.xml", kScore}},
                                  {}, f.form));
        // Python's zipfile reads the score back from it.
        EXPECT_EQ(python(dir, "import zipfile\nprint(zipfile.ZipFile(" + quote(file.string()) +
                                  ").read('score.xml').decode(), end='')\n"),
                  kScore)
            << f.name;
        try {
            EXPECT_EQ(notesOf(file), expected) << f.name;
        } catch (const std::exception& e) {
            ADD_FAILURE() << f.name << ": " << e.what();
        }
    }
}

}  // namespace
