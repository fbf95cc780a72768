#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "musicxml_snippets.hpp"
#include "zip/error.hpp"

namespace {

namespace fs = std::filesystem;
using namespace scoretest;
using score::JpsConversionError;
using score::JpsMusicXmlConverter;
using score::ScoreFileError;

// A score of two quarter notes, C4 and an E4 whose title holds `titleBytes`.
std::string twoNotes(const std::string& titleBytes = "Etude") {
    std::string text = partwise(measure("1", attributes(1) + N("C4", 1) + N("E4", 1)));
    return text.insert(text.find("<part-list>"),
                       "<work><work-title>" + titleBytes + "</work-title></work>");
}

const std::string container =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<container><rootfiles>"
    "<rootfile full-path=\"score.xml\" media-type=\"application/vnd.recordare.musicxml+xml\"/>"
    "</rootfiles></container>\n";

class ScoreLoading : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("score_loading_" + std::to_string(getpid()) + "_" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "content" / "META-INF");
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path write(const std::string& name, const std::string& bytes) {
        const fs::path path = dir_ / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // An archive made by Info-ZIP from content/ files, added in the order given.
    fs::path infoZip(const std::string& name,
                     const std::vector<std::pair<std::string, std::string>>& files) {
        std::string names;
        for (const auto& [file, bytes] : files) {
            write("content/" + file, bytes);
            names += " '" + file + "'";
        }
        const fs::path archive = dir_ / name;
        const std::string command = "cd '" + (dir_ / "content").string() + "' && zip -q -X '" +
                                    archive.string() + "'" + names;
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return archive;
    }

    // Converts `file`; the notes on success, or the error's type and sentence.
    std::string convert(const fs::path& file) {
        JpsMusicXmlConverter converter;
        try {
            converter.convertToJps(file);
        } catch (const JpsConversionError& e) {
            EXPECT_EQ(converter.jpsData(), nullptr);
            return std::string("JpsConversionError: ") + e.what();
        } catch (const ScoreFileError& e) {
            EXPECT_EQ(converter.jpsData(), nullptr);
            return std::string("ScoreFileError: ") + e.what();
        } catch (const zip::Error& e) {
            EXPECT_EQ(converter.jpsData(), nullptr);
            return std::string("zip::Error: ") + e.what();
        }
        std::string notes;
        for (const auto& n : converter.jpsData()->notes)
            notes += std::to_string(n->note) + "@" + std::to_string(n->start) + " ";
        return notes;
    }

    fs::path dir_;
};

const std::string converted = "48@0 52@44100 ";

TEST_F(ScoreLoading, PlainFilesAreReadAsStrictText) {
    const auto utf16 = [](const std::string& ascii, bool bigEndian) {
        std::string out = bigEndian ? "\xfe\xff" : "\xff\xfe";
        for (char c : ascii)
            out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
        return out;
    };
    EXPECT_EQ(convert(write("Etude.musicxml", twoNotes())), converted);
    EXPECT_EQ(convert(write("Etude.xml", "\xef\xbb\xbf" + twoNotes())),
              converted);  // UTF-8 byte-order mark
    // Only a lower-case "mxl" means an archive.
    EXPECT_EQ(convert(write("Etude.MXL", twoNotes())), converted);
    EXPECT_EQ(convert(write("Caf\xc3\xa9.musicxml", twoNotes("Caf\xc3\xa9"))), converted);
    EXPECT_EQ(convert(write("le.musicxml", utf16(twoNotes(), false))), converted);
    EXPECT_EQ(convert(write("be.musicxml", utf16(twoNotes(), true))), converted);

    EXPECT_EQ(convert(write("Bad.musicxml", twoNotes("Caf\xe9"))),
              "ScoreFileError: The file \"Bad.musicxml\" is not valid UTF-8 text (ill-formed bytes "
              "at offset " +
                  std::to_string(twoNotes().find("Etude") + 3) + ").");
    EXPECT_EQ(
        convert(write("Half.musicxml", utf16(twoNotes(), false) + std::string("\x00\xd8", 2))),
        "ScoreFileError: The file \"Half.musicxml\" is not valid UTF-8 text (ill-formed bytes at "
        "offset " +
            std::to_string(2 + 2 * twoNotes().size()) + ").");
    EXPECT_EQ(convert(dir_ / "Missing.musicxml"),
              "ScoreFileError: The file \"Missing.musicxml\" could not be read: No such file or "
              "directory.");
    EXPECT_EQ(convert(dir_ / "content"),
              "ScoreFileError: The file \"content\" could not be read: Is a directory.");
}

// Exports that declare ISO-8859-1 write names such as "Flöte" in it: each byte is the character of
// its code. Only that declaration changes how a plain file is read.
TEST_F(ScoreLoading, PlainFilesDeclaredISO88591AreReadAsLatin1) {
    // A score whose part is named `partName`, its declaration naming `encoding`.
    const auto named = [](const std::string& encoding, const std::string& partName) {
        std::string text = twoNotes();
        text.replace(text.find("UTF-8"), 5, encoding);
        return text.replace(text.find(">Piano<") + 1, 5, partName);
    };
    const auto json = [](const fs::path& file) {
        JpsMusicXmlConverter converter;
        converter.convertToJps(file);
        return converter.jpsData()->json();
    };
    const std::string utf8Json = json(write("utf8.musicxml", named("UTF-8", "Fl\xc3\xb6te")));
    for (const std::string encoding : {"ISO-8859-1", "iso-8859-1", "Iso-8859-1"}) {
        const auto file = write(encoding + ".musicxml", named(encoding, "Fl\xf6te"));
        EXPECT_EQ(json(file), utf8Json) << encoding;
    }

    // Latin-1 bytes in a file declared UTF-8 are still refused, at the first of them.
    const std::string mislabelled = named("UTF-8", "Fl\xf6te");
    EXPECT_EQ(convert(write("utf8.xml", mislabelled)),
              "ScoreFileError: The file \"utf8.xml\" is not valid UTF-8 text (ill-formed bytes at "
              "offset " +
                  std::to_string(mislabelled.find('\xf6')) + ").");
}

// A file is read whole whatever its size, and whether or not its size is known before it is read
// (a pipe has none).
TEST_F(ScoreLoading, FilesAreReadWholeAtAnySize) {
    for (const size_t size : {size_t{65535}, size_t{65536}, size_t{65537}, size_t{1} << 20}) {
        // Padded with white space after the document element.
        std::string text = twoNotes();
        text.append(size - text.size(), '\n');
        EXPECT_EQ(convert(write("Padded" + std::to_string(size) + ".musicxml", text)), converted)
            << size;
    }
    const fs::path pipe = dir_ / "Piped.musicxml";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::string text = twoNotes();
    text.append(200000, ' ');
    std::thread writer([&] { std::ofstream(pipe, std::ios::binary) << text; });
    EXPECT_EQ(convert(pipe), converted);
    writer.join();
}

TEST_F(ScoreLoading, CompressedScoresAreFoundThroughTheirContainer) {
    const std::string other = partwise(measure("1", attributes(1) + N("G4", 1)));
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;
    };
    for (const auto& c : std::vector<Case>{
             {"ContainerFirst", {{"META-INF/container.xml", container}, {"score.xml", twoNotes()}}},
             // The Part took the last entry; the container names the score whatever the order.
             {"ContainerLast", {{"score.xml", twoNotes()}, {"META-INF/container.xml", container}}},
             {"ContainerAmongOthers",
              {{"META-INF/container.xml", container},
               {"score.xml", twoNotes()},
               {"sheet.xml", other}}},
             // Without a usable description the last entry is the score.
             {"NoContainer", {{"sheet.xml", other}, {"score.xml", twoNotes()}}},
             {"ContainerNamingAMissingFile",
              {{"META-INF/container.xml",
                "<container><rootfiles><rootfile full-path=\"gone.xml\"/></rootfiles></container>"},
               {"score.xml", twoNotes()}}},
             {"BrokenContainer",
              {{"META-INF/container.xml", "<container><rootfiles>"}, {"score.xml", twoNotes()}}},
             {"OtherMediaTypeFirst",
              {{"META-INF/container.xml",
                "<container><rootfiles><rootfile full-path=\"sheet.pdf\" "
                "media-type=\"application/pdf\"/>"
                "<rootfile full-path=\"score.xml\"/></rootfiles></container>"},
               {"sheet.pdf", "%PDF"},
               {"score.xml", twoNotes()},
               {"sheet.xml", other}}},
         }) {
        EXPECT_EQ(convert(infoZip(std::string(c.name) + ".mxl", c.files)), converted) << c.name;
    }
}

TEST_F(ScoreLoading, CompressedScoreTextIsDecodedLeniently) {
    // Ill-formed UTF-8 becomes U+FFFD and the walk goes on; UTF-16 after a byte-order mark is
    // UTF-16.
    std::string utf16 = "\xff\xfe";
    for (char c : twoNotes("Clef @ #")) {
        // '@' stands for U+1D11E, a surrogate pair; '#' for a lone surrogate, which becomes U+FFFD.
        if (c == '@')
            utf16 += std::string("\x34\xd8\x1e\xdd", 4);
        else if (c == '#')
            utf16 += std::string("\x00\xd8", 2);
        else
            utf16 += std::string{c, '\0'};
    }
    EXPECT_EQ(convert(infoZip("latin.mxl", {{"META-INF/container.xml", container},
                                            {"score.xml", twoNotes("Caf\xe9\xff")}})),
              converted);
    EXPECT_EQ(convert(infoZip("utf16.mxl",
                              {{"META-INF/container.xml", container}, {"score.xml", utf16}})),
              converted);
}

TEST_F(ScoreLoading, BrokenArchivesFailWithTheirOwnError) {
    EXPECT_EQ(convert(write("NotZip.mxl", twoNotes())).rfind("zip::Error: ", 0), 0u);
    EXPECT_EQ(convert(dir_ / "Missing.mxl").rfind("zip::Error: ", 0), 0u);

    // A corrupted byte in the deflated score fails the checksum or the inflation.
    const fs::path good =
        infoZip("good.mxl", {{"META-INF/container.xml", container}, {"score.xml", twoNotes()}});
    std::string bytes;
    {
        std::ifstream in(good, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const size_t data = bytes.find("score.xml") + 9 + 20;
    bytes[data] = static_cast<char>(bytes[data] ^ 0x55);
    EXPECT_EQ(convert(write("corrupt.mxl", bytes)).rfind("zip::Error: ", 0), 0u);
}

TEST_F(ScoreLoading, ArchivesThatHoldNoScoreAreRefused) {
    // The end of central directory record of an empty archive.
    EXPECT_EQ(convert(write("Empty.mxl", std::string("PK\x05\x06", 4) + std::string(18, '\0'))),
              "JpsConversionError: The compressed score \"Empty.mxl\" holds no files.");
    // The description names a file the archive lacks; the last entry, taken instead, is no score:
    // the sentence says both.
    EXPECT_EQ(convert(infoZip("OnlyContainer.mxl", {{"META-INF/container.xml", container}})),
              "JpsConversionError: The container description of \"OnlyContainer.mxl\" names "
              "\"score.xml\", a file the archive does not hold; its last entry, "
              "\"META-INF/container.xml\", is no score either: The file is not a MusicXML score: "
              "its root element is not score-partwise.");
}

TEST_F(ScoreLoading, ContainerNamingAMissingFileFallsBackToTheLastEntry) {
    std::string escaping = container;
    escaping.replace(escaping.find("score.xml"), 9, "../score.xml");
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;
        std::string expected;
    } cases[] = {
        {"fallback.mxl", {{"META-INF/container.xml", escaping}, {"other.xml", twoNotes()}}, ""},
        {"noscore.mxl",
         {{"META-INF/container.xml", escaping}, {"notes.txt", "plain text"}},
         "JpsConversionError: The container description of \"noscore.mxl\" names "
         "\"../score.xml\", a file the archive does not hold; its last entry, \"notes.txt\", "
         "is no score either: The score is not well-formed XML (error on line 1, column 0)."},
    };
    for (const auto& c : cases) {
        const std::string result = convert(infoZip(c.name, c.files));
        EXPECT_EQ(result, c.expected.empty() ? converted : c.expected) << c.name;
    }
}

TEST_F(ScoreLoading, DamagedOrOverlappingDirectoriesAreRefused) {
    const fs::path good =
        infoZip("good.mxl", {{"META-INF/container.xml", container}, {"score.xml", twoNotes()}});
    std::string bytes;
    {
        std::ifstream in(good, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const size_t firstRecord = bytes.find("PK\x01\x02");
    const size_t secondRecord = bytes.find("PK\x01\x02", firstRecord + 4);
    // The second record overwritten: the walk ends after the first entry.
    std::string damaged = bytes;
    damaged[secondRecord + 2] = 'X';
    // The second record pointing at the first entry's local header.
    std::string overlapping = bytes;
    overlapping.replace(secondRecord + 42, 4, std::string(4, '\0'));
    EXPECT_EQ(convert(write("damaged.mxl", damaged)),
              "zip::Error: The central directory entry count is out of range: the central "
              "directory is damaged: only 1 of its 2 entries can be read. (" +
                  (dir_ / "damaged.mxl").string() + ")");
    EXPECT_NE(convert(write("overlap.mxl", overlapping)).find("overlapping entries"),
              std::string::npos);
}

TEST_F(ScoreLoading, EntryLargerThanAnyScoreIsRefusedBeforeItIsRead) {
    const fs::path good = infoZip("big.mxl", {{"score.xml", twoNotes()}});
    std::string bytes;
    {
        std::ifstream in(good, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    // Claim 300 MiB in both the local header and the central directory record.
    const std::string size = {'\0', '\0', '\xc0', '\x12'};
    bytes.replace(22, 4, size);
    bytes.replace(bytes.find("PK\x01\x02") + 24, 4, size);
    EXPECT_EQ(convert(write("big.mxl", bytes)),
              "JpsConversionError: The score inside \"big.mxl\" is larger than 256 MiB, more than "
              "any score needs.");
}

}  // namespace
