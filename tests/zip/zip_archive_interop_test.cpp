// Archives made by Info-ZIP zip and Python's zipfile: our listing equals theirs, and every entry
// extracts byte-identically from a file and from memory.
#include <gtest/gtest.h>

#include <sstream>

#include "zip/archive.hpp"
#include "zip_test_support.hpp"

namespace {

using namespace zip;
using ziptest::Bytes;
using ziptest::quote;
using ziptest::run;
using ziptest::ScratchDir;
namespace fs = std::filesystem;

struct Listed {
    std::string name;
    uint64_t size;
    uint64_t compressedSize;
    uint32_t crc;
    bool operator==(const Listed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Listed& l) {
    return out << l.name << " " << l.size << " " << l.compressedSize << " " << l.crc;
}

// Python's view of the archive; it also writes each member's content to expected/<index>.
std::vector<Listed> pythonListing(const ScratchDir& dir, const fs::path& archive) {
    std::string out = ziptest::python(dir, R"(
import zipfile, sys, os
out = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'expected')
os.makedirs(out, exist_ok=True)
z = zipfile.ZipFile(sys.argv[1] if len(sys.argv) > 1 else )" +
                                               quote(archive.string()) + R"()
for i, info in enumerate(z.infolist()):
    print('%s\t%d\t%d\t%d' % (info.filename, info.file_size, info.compress_size, info.CRC))
    if not info.is_dir():
        open(os.path.join(out, str(i)), 'wb').write(z.read(info))
)");
    std::vector<Listed> listing;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        Listed l;
        std::getline(fields, l.name, '\t');
        fields >> l.size >> l.compressedSize >> l.crc;
        listing.push_back(l);
    }
    return listing;
}

std::vector<Listed> ourListing(const Archive& archive) {
    std::vector<Listed> listing;
    for (const Entry& e : archive) {
        listing.push_back({e.path(), e.uncompressedSize(), e.compressedSize(), e.checksum()});
    }
    return listing;
}

// Lists, then extracts every entry from the file and from memory and compares with Python.
void checkArchive(const ScratchDir& dir, const fs::path& path) {
    SCOPED_TRACE(path.filename().string());
    const auto expected = pythonListing(dir, path);
    ASSERT_FALSE(expected.empty());
    std::string zipinfoNames = run("zipinfo -1 " + quote(path.string()));
    std::string ourNames;
    const Archive fromFile(path, Archive::AccessMode::read);
    const Archive fromMemory(ziptest::readFile(path), Archive::AccessMode::read);
    for (const Archive* archive : {&fromFile, &fromMemory}) {
        EXPECT_EQ(ourListing(*archive), expected);
        size_t index = 0;
        for (const Entry& entry : *archive) {
            // zipinfo prints names as stored, undecoded.
            const Bytes& raw = entry.centralDirectoryStructure().fileNameData;
            if (archive == &fromFile) ourNames += std::string(raw.begin(), raw.end()) + "\n";
            Bytes content;
            const uint32_t crc = archive->extract(
                entry, 16384, false, nullptr,
                [&](ByteView piece) { content.insert(content.end(), piece.begin(), piece.end()); });
            if (entry.type() == Entry::EntryType::directory) {
                EXPECT_TRUE(content.empty());
            } else {
                EXPECT_TRUE(content ==
                            ziptest::readFile(dir / ("expected/" + std::to_string(index))))
                    << entry.path();
                EXPECT_EQ(crc, expected[index].crc);
            }
            ++index;
        }
        EXPECT_EQ(index, expected.size());
    }
    EXPECT_EQ(ourNames, zipinfoNames);
    // Lookup by path finds the last entry.
    auto last = fromFile.entry(expected.back().name);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->path(), expected.back().name);
    EXPECT_FALSE(fromFile.entry("no such entry"));
}

void makeTree(const fs::path& root) {
    ziptest::writeFile(root / "score.musicxml", ziptest::sampleBytes(200000, 3));
    ziptest::writeFile(root / "META-INF/container.xml", std::string("<container/>\n"));
    ziptest::writeFile(root / "deep/er/still/empty.txt", Bytes{});
    ziptest::writeFile(root / "deep/binary.bin", ziptest::sampleBytes(70000, 9));
    ziptest::writeFile(root / "caf\xC3\xA9.txt", std::string("accent\n"));
    fs::create_directories(root / "empty-dir");
}

TEST(ZipArchiveInterop, InfoZipArchives) {
    if (!ziptest::haveTool("zip") || !ziptest::haveTool("zipinfo"))
        GTEST_SKIP() << "Info-ZIP missing";
    ScratchDir dir;
    makeTree(dir / "tree");
    const std::string tree = quote((dir / "tree").string());
    run("cd " + tree + " && zip -q -r " + quote((dir / "deflated.zip").string()) + " .");
    run("cd " + tree + " && zip -q -0 -r " + quote((dir / "stored.zip").string()) + " .");
    run("cd " + tree + " && zip -q -r " + quote((dir / "comment.zip").string()) +
        " . -z < /dev/null && printf 'an archive comment\\n' | zip -q -z " +
        quote((dir / "comment.zip").string()));
    run("zip -q - - < " + quote((dir / "tree/score.musicxml").string()) + " | cat > " +
        quote((dir / "streamed.zip").string()));
    for (const char* name : {"deflated.zip", "stored.zip", "comment.zip", "streamed.zip"}) {
        checkArchive(dir, dir / name);
    }
    const Archive streamed(dir / "streamed.zip", Archive::AccessMode::read);
    const Entry entry = *streamed.begin();
    EXPECT_TRUE(entry.centralDirectoryStructure().usesDataDescriptor());
    EXPECT_TRUE(entry.zip64DataDescriptor().has_value());  // streamed with version 4.5
    const Archive commented(dir / "comment.zip", Archive::AccessMode::read);
    const Bytes& comment = commented.endOfCentralDirectoryRecord().zipFileCommentData;
    EXPECT_EQ(std::string(comment.begin(), comment.end()), "an archive comment");
}

TEST(ZipArchiveInterop, PythonArchivesIncludingZIP64) {
    ScratchDir dir;
    ziptest::python(dir, R"(
import zipfile, os, random
d = os.path.dirname(os.path.abspath(__file__))
random.seed(5)
text = ''.join(random.choice(['<note/>', '<rest/>', '\n', 'C4 ']) for _ in range(40000)).encode()
with zipfile.ZipFile(os.path.join(d, 'py.zip'), 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('mimetype', b'application/vnd.recordare.musicxml', compress_type=zipfile.ZIP_STORED)
    z.writestr('dir/', b'')
    z.writestr('dir/score.xml', text)
    z.writestr('\u00fcber.txt', b'utf-8 name')
with zipfile.ZipFile(os.path.join(d, 'py64.zip'), 'w', zipfile.ZIP_DEFLATED) as z:
    for name, data in [('a.xml', text), ('b.bin', os.urandom(5000)), ('empty', b'')]:
        with z.open(name, 'w', force_zip64=True) as f:
            f.write(data)
)");
    // Written to a pipe: Python streams with data descriptors (64-bit sizes with ZIP64).
    ziptest::writeFile(dir / "stream.py", std::string(R"(
import zipfile, sys
with zipfile.ZipFile(sys.stdout.buffer, 'w', zipfile.ZIP_DEFLATED) as z:
    with z.open('s.txt', 'w', force_zip64=True) as f:
        f.write(b'streamed zip64 ' * 300)
    with z.open('t.txt', 'w') as f:
        f.write(b'streamed ' * 100)
)"));
    run("python3 " + quote((dir / "stream.py").string()) + " | cat > " +
        quote((dir / "streamed64.zip").string()));
    for (const char* name : {"py.zip", "py64.zip"})
        checkArchive(dir, dir / name);
    checkArchive(dir, dir / "streamed64.zip");
    const Archive streamed(dir / "streamed64.zip", Archive::AccessMode::read);
    const Entry first = *streamed.begin();
    EXPECT_TRUE(first.centralDirectoryStructure().usesDataDescriptor());
    EXPECT_TRUE(first.zip64DataDescriptor().has_value());
    const Archive zip64(dir / "py64.zip", Archive::AccessMode::read);
    for (const Entry& e : zip64)
        EXPECT_TRUE(e.centralDirectoryStructure().isZIP64()) << e.path();
}

}  // namespace
