// Opening, walking and reading archives: bad opens, damaged directories, checksums, sizes,
// cancellation, and the record writers read back by Python.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "zip/archive.hpp"
#include "zip/attributes.hpp"
#include "zip_test_support.hpp"

namespace {

using namespace zip;
using ziptest::Bytes;
using ziptest::LE;
using ziptest::ScratchDir;
namespace fs = std::filesystem;
using Mode = Archive::AccessMode;

size_t openDescriptors() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// A stored entry's local header and data followed by its central record; `declared` overrides
// the sizes written in the records.
struct Built {
    Bytes bytes;
    uint64_t centralStart;
};

Built storedArchive(const std::vector<std::pair<std::string, std::string>>& files, uint16_t count,
                    std::optional<uint32_t> declaredSize = std::nullopt, uint32_t crcXor = 0) {
    Bytes out;
    Bytes central;
    for (const auto& [name, content] : files) {
        const uint32_t size = declaredSize.value_or(static_cast<uint32_t>(content.size()));
        const uint32_t crc = crc32(Bytes(content.begin(), content.end())) ^ crcXor;
        const auto offset = static_cast<uint32_t>(out.size());
        LE local;
        local.put<uint32_t>(0x04034b50).put<uint16_t>(20).put<uint16_t>(0).put<uint16_t>(0);
        local.put<uint32_t>(0).put(crc).put(size).put(size);
        local.put<uint16_t>(static_cast<uint16_t>(name.size()))
            .put<uint16_t>(0)
            .append(name)
            .append(content);
        Bytes l = local;
        out.insert(out.end(), l.begin(), l.end());
        LE c;
        c.put<uint32_t>(0x02014b50)
            .put<uint16_t>(0x031E)
            .put<uint16_t>(20)
            .put<uint16_t>(0)
            .put<uint16_t>(0);
        c.put<uint32_t>(0).put(crc).put(size).put(size);
        c.put<uint16_t>(static_cast<uint16_t>(name.size())).put<uint16_t>(0).put<uint16_t>(0);
        c.put<uint16_t>(0).put<uint16_t>(0).put<uint32_t>(0100644u << 16).put(offset).append(name);
        Bytes cb = c;
        central.insert(central.end(), cb.begin(), cb.end());
    }
    const auto start = static_cast<uint32_t>(out.size());
    out.insert(out.end(), central.begin(), central.end());
    Bytes end = LE().put<uint32_t>(0x06054b50)
                    .put<uint32_t>(0)
                    .put(count)
                    .put(count)
                    .put(static_cast<uint32_t>(central.size()))
                    .put(start)
                    .put<uint16_t>(0);
    out.insert(out.end(), end.begin(), end.end());
    return {out, start};
}

std::vector<std::string> paths(const Archive& archive) {
    std::vector<std::string> names;
    for (const Entry& e : archive)
        names.push_back(e.path());
    return names;
}

Bytes extracted(const Archive& archive, const Entry& entry, int64_t bufferSize = 16384) {
    Bytes out;
    archive.extract(entry, bufferSize, false, nullptr,
                    [&](ByteView p) { out.insert(out.end(), p.begin(), p.end()); });
    return out;
}

template <class E>
typename E::Case caseOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const E& e) {
        return e.errorCase();
    }
    ADD_FAILURE() << "no error";
    return {};
}

TEST(ZipArchiveRead, BadOpensFailPromptlyWithoutLeakingDescriptors) {
    ScratchDir dir;
    ziptest::writeFile(dir / "short", Bytes(21, 0));
    ziptest::writeFile(dir / "text", std::string(5000, 'x'));
    Bytes longComment = storedArchive({{"a", "b"}}, 1).bytes;
    longComment[longComment.size() - 2] = 50;  // comment length past the end
    ziptest::writeFile(dir / "comment", longComment);
    fs::create_directory(dir / "dir");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const size_t before = openDescriptors();
    for (const char* name : {"short", "text", "comment"}) {
        for (Mode mode : {Mode::read, Mode::update}) {
            EXPECT_EQ(caseOf<ArchiveError>([&] { Archive(dir / name, mode); }),
                      ArchiveError::Case::missingEndOfCentralDirectoryRecord)
                << name;
        }
        EXPECT_EQ(caseOf<ArchiveError>([&] { Archive(ziptest::readFile(dir / name), Mode::read); }),
                  ArchiveError::Case::missingEndOfCentralDirectoryRecord);
    }
    struct Case {
        const char* name;
        int code;
    };
    for (const Case& c : {Case{"dir", EISDIR}, Case{"fifo", ESPIPE}, Case{"missing", ENOENT}}) {
        try {
            Archive(dir / c.name, Mode::read);
            ADD_FAILURE() << c.name;
        } catch (const FileError& e) {
            EXPECT_EQ(e.posixCode(), c.code) << c.name;
            EXPECT_EQ(e.path(), (dir / c.name).string());
            EXPECT_NE(std::string(e.what()).find(c.name), std::string::npos);
        }
    }
    EXPECT_FALSE(Archive::open(dir / "text", Mode::read));
    EXPECT_EQ(openDescriptors(), before);
}

TEST(ZipArchiveRead, CreatingWritesTheEmptyArchiveAndNeverReplaces) {
    ScratchDir dir;
    {
        Archive created(dir / "new.zip", Mode::create);
        EXPECT_EQ(paths(created), std::vector<std::string>{});
    }
    EXPECT_EQ(ziptest::readFile(dir / "new.zip"), EndOfCentralDirectoryRecord{}.data());
    EXPECT_TRUE(paths(Archive(dir / "new.zip", Mode::read)).empty());
    EXPECT_EQ(caseOf<FileError>([&] { Archive(dir / "new.zip", Mode::create); }),
              FileError::Case::fileWriteFileExists);
    ziptest::writeFile(dir / "keep", std::string("precious"));
    EXPECT_THROW(Archive(dir / "keep", Mode::create), FileError);
    EXPECT_EQ(ziptest::readFile(dir / "keep"), Bytes({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
    Archive memory(Bytes{}, Mode::create);
    EXPECT_EQ(memory.data(), EndOfCentralDirectoryRecord{}.data());
    EXPECT_FALSE(Archive(dir / "new.zip", Mode::read).data());
}

TEST(ZipArchiveRead, WalkEndsAtDamageWithoutThrowing) {
    const auto two = storedArchive({{"a.txt", "first"}, {"b.txt", "second"}}, 2);
    Archive archive(two.bytes, Mode::read);
    EXPECT_EQ(paths(archive), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(paths(archive), paths(archive));
    EXPECT_EQ(archive.entry("b.txt")->path(), "b.txt");
    EXPECT_FALSE(archive.entry("c.txt"));

    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
        size_t entries;
    };
    const size_t end = two.bytes.size() - 22;
    const std::vector<Case> cases = {
        {"count larger than records", [&](Bytes& b) { b[end + 8] = b[end + 10] = 3; }, 2},
        {"huge count",
         [&](Bytes& b) { b[end + 8] = b[end + 10] = b[end + 9] = b[end + 11] = 0xFF; }, 2},
        {"directory offset past the end", [&](Bytes& b) { b[end + 19] = 0x7F; }, 0},
        {"second local header offset past the end",
         [&](Bytes& b) { b[two.centralStart + 51 + 45] = 0x70; }, 1},
        {"second central signature broken", [&](Bytes& b) { b[two.centralStart + 51] = 0; }, 1},
        {"name length past the end", [&](Bytes& b) { b[two.centralStart + 51 + 29] = 0xFF; }, 1},
    };
    for (const auto& c : cases) {
        Bytes damaged = two.bytes;
        c.damage(damaged);
        EXPECT_EQ(paths(Archive(damaged, Mode::read)).size(), c.entries) << c.name;
    }
}

TEST(ZipArchiveRead, ZIP64EndRecordsGiveTheDirectory) {
    // The 32-bit record claims nothing; the ZIP64 pair right before it gives count and offset.
    auto built = storedArchive({{"x", "xx"}, {"y", "yyy"}}, 0);
    Bytes bytes(built.bytes.begin(), built.bytes.end() - 22);
    const uint64_t zip64At = bytes.size();
    ZIP64EndOfCentralDirectoryRecord record;
    record.versionMadeBy = 0x031E;
    record.versionNeededToExtract = 45;
    record.totalNumberOfEntriesOnDisk = record.totalNumberOfEntriesInCentralDirectory = 2;
    record.sizeOfCentralDirectory = zip64At - built.centralStart;
    record.offsetToStartOfCentralDirectory = built.centralStart;
    ZIP64EndOfCentralDirectoryLocator locator;
    locator.relativeOffsetOfZIP64EOCDRecord = zip64At;
    locator.totalNumberOfDisk = 1;
    for (const Bytes& part :
         {record.data(), locator.data(), EndOfCentralDirectoryRecord{}.data()}) {
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    Archive archive(bytes, Mode::read);
    ASSERT_TRUE(archive.zip64EndOfCentralDirectory());
    EXPECT_EQ(archive.zip64EndOfCentralDirectory()->locator, locator);
    EXPECT_EQ(paths(archive), (std::vector<std::string>{"x", "y"}));
}

TEST(ZipArchiveRead, ChecksumsSizesAndTruncationAreErrors) {
    const std::string content(40000, 'q');
    struct Case {
        const char* name;
        Bytes archive;
        ArchiveError::Case expected;
    };
    const std::vector<Case> cases = {
        {"crc mismatch", storedArchive({{"c", content}}, 1, std::nullopt, 0x1).bytes,
         ArchiveError::Case::invalidCRC32},
        {"size past the end", storedArchive({{"s", content}}, 1, 0x7FFFFFF0).bytes,
         ArchiveError::Case::invalidEntrySize},
    };
    for (const auto& c : cases) {
        Archive archive(c.archive, Mode::read);
        const Entry entry = *archive.begin();
        EXPECT_EQ(caseOf<ArchiveError>([&] { extracted(archive, entry); }), c.expected) << c.name;
    }
    // With the check skipped, altered data extracts and its own CRC-32 comes back.
    Archive altered(cases[0].archive, Mode::read);
    const uint32_t crc = altered.extract(*altered.begin(), 16384, true, nullptr, [](ByteView) {});
    EXPECT_EQ(crc, 0u);
    EXPECT_EQ(extracted(Archive(storedArchive({{"ok", content}}, 1).bytes, Mode::read),
                        *Archive(storedArchive({{"ok", content}}, 1).bytes, Mode::read).begin())
                  .size(),
              40000u);
}

TEST(ZipArchiveRead, InflatingPastTheDeclaredSizeFails) {
    ScratchDir dir;
    ziptest::python(dir, R"(
import zipfile, os, struct
d = os.path.dirname(os.path.abspath(__file__))
with zipfile.ZipFile(os.path.join(d, 'bomb.zip'), 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('zeros', b'\0' * 1000000)
data = bytearray(open(os.path.join(d, 'bomb.zip'), 'rb').read())
# Declare 1000 bytes in the central record (uncompressed size at +24) and the local header (+22).
cd = data.rfind(b'PK\x01\x02')
struct.pack_into('<I', data, cd + 24, 1000)
struct.pack_into('<I', data, 22, 1000)
open(os.path.join(d, 'bomb.zip'), 'wb').write(data)
)");
    Archive archive(dir / "bomb.zip", Mode::read);
    size_t delivered = 0;
    EXPECT_EQ(caseOf<ArchiveError>([&] {
                  archive.extract(*archive.begin(), 16384, true, nullptr,
                                  [&](ByteView p) { delivered += p.size(); });
              }),
              ArchiveError::Case::invalidEntrySize);
    EXPECT_LE(delivered, 1000u);
}

TEST(ZipArchiveRead, PiecesProgressAndCancellation) {
    const std::string content(40000, 'p');
    Archive archive(storedArchive({{"p", content}}, 1).bytes, Mode::read);
    const Entry entry = *archive.begin();
    std::vector<size_t> pieces;
    std::vector<int64_t> completed;
    auto progress = Progress::make();
    archive.extract(entry, 16384, false, progress.get(), [&](ByteView p) {
        pieces.push_back(p.size());
        completed.push_back(progress->completedUnitCount());
    });
    EXPECT_EQ(pieces, (std::vector<size_t>{16384, 16384, 7232}));
    EXPECT_EQ(completed, (std::vector<int64_t>{0, 16384, 32768}));
    EXPECT_EQ(progress->completedUnitCount(), 40000);
    EXPECT_EQ(progress->totalUnitCount(), 40000);

    auto cancelled = Progress::make();
    cancelled->cancel();
    bool called = false;
    EXPECT_EQ(caseOf<ArchiveError>([&] {
                  archive.extract(entry, 16384, false, cancelled.get(),
                                  [&](ByteView) { called = true; });
              }),
              ArchiveError::Case::cancelledOperation);
    EXPECT_FALSE(called);
    EXPECT_EQ(
        caseOf<ArchiveError>([&] { archive.extract(entry, 0, false, nullptr, [&](ByteView) {}); }),
        ArchiveError::Case::invalidBufferSize);
}

TEST(ZipArchiveRead, WritersProduceArchivesPythonReads) {
    ScratchDir dir;
    const std::string big(100000, 'w');
    const std::vector<std::tuple<std::string, CompressionMethod, std::string>> files = {
        {"stored.txt", CompressionMethod::none, "stored bytes"},
        {"deflated.txt", CompressionMethod::deflate, big},
        {"empty", CompressionMethod::none, ""},
    };
    {
        Archive archive(dir / "ours.zip", Mode::create);
        FILE* f = archive.archiveFile();
        std::vector<CentralDirectoryStructure> records;
        for (const auto& [name, method, content] : files) {
            const uint64_t offset = static_cast<uint64_t>(ftello(f));
            const Bytes source(content.begin(), content.end());
            archive.writeLocalFileHeader(name, method, source.size(), 0, 0, 0, 0);
            auto [written, crc] = archive.writeEntry(
                source.size(), Entry::EntryType::file, method, 16384, nullptr,
                [&](int64_t pos, size_t n) {
                    return Bytes(source.begin() + pos,
                                 source.begin() + pos + static_cast<std::ptrdiff_t>(n));
                });
            const off_t after = ftello(f);
            fseeko(f, static_cast<off_t>(offset), SEEK_SET);
            const Date when(std::chrono::seconds(1710006331));
            LocalFileHeader header = archive.writeLocalFileHeader(
                name, method, source.size(), written, crc, dosTime(when), dosDate(when));
            fseeko(f, after, SEEK_SET);
            records.push_back(
                CentralDirectoryStructure::forNewEntry(header, 0100644u << 16, offset));
        }
        const uint64_t start = static_cast<uint64_t>(ftello(f));
        for (const auto& r : records)
            writeChunk(r.data(), f);
        uint64_t endAt = static_cast<uint64_t>(ftello(f));
        // Count the records one by one, as adding entries does.
        uint64_t size = 0;
        for (size_t i = 0; i < records.size(); ++i) {
            EndOfCentralDirectoryRecord current;
            current.totalNumberOfEntriesOnDisk = current.totalNumberOfEntriesInCentralDirectory =
                static_cast<uint16_t>(i);
            current.sizeOfCentralDirectory = static_cast<uint32_t>(size);
            archive.setEndOfCentralDirectory(current, std::nullopt);
            fseeko(f, static_cast<off_t>(endAt), SEEK_SET);
            auto [record, zip64] = archive.writeEndOfCentralDirectory(
                records[i], start, endAt, Archive::ModifyOperation::add);
            EXPECT_FALSE(zip64);
            archive.setEndOfCentralDirectory(record, zip64);
            size += records[i].recordLength();
        }
        std::fflush(f);
    }
    std::string out =
        ziptest::python(dir,
                        "import "
                        "zipfile,os\nz=zipfile.ZipFile(os.path.join(os.path.dirname(os.path."
                        "abspath(__file__)),'ours.zip'))\nprint(z.testzip(), [(i.filename, "
                        "i.file_size, i.date_time) for i in z.infolist()])\n");
    EXPECT_EQ(
        out,
        "None [('stored.txt', 12, (2024, 3, 9, 17, 45, 30)), ('deflated.txt', 100000, (2024, 3, 9, "
        "17, 45, 30)), ('empty', 0, (2024, 3, 9, 17, 45, 30))]\n");
    Archive reread(dir / "ours.zip", Mode::read);
    EXPECT_EQ(extracted(reread, *reread.entry("deflated.txt")).size(), 100000u);
}

TEST(ZipArchiveRead, EndRecordsSwitchToZIP64AndNeverWrapAround) {
    Archive archive(Bytes{}, Mode::create);
    CentralDirectoryStructure record = CentralDirectoryStructure::forNewEntry(
        LocalFileHeader::forNewEntry({'n'}, 0, 1, 1, 0, 0, 0), 0, 10);
    EndOfCentralDirectoryRecord current;
    current.totalNumberOfEntriesOnDisk = current.totalNumberOfEntriesInCentralDirectory = 65534;
    current.sizeOfCentralDirectory = 1000;
    archive.setEndOfCentralDirectory(current, std::nullopt);
    auto [end, zip64] =
        archive.writeEndOfCentralDirectory(record, 5000, 6000, Archive::ModifyOperation::add);
    ASSERT_TRUE(zip64);
    EXPECT_EQ(end.totalNumberOfEntriesInCentralDirectory, 0xFFFF);
    EXPECT_EQ(end.sizeOfCentralDirectory, 1000 + record.recordLength());
    EXPECT_EQ(end.offsetToStartOfCentralDirectory, 5000u);
    EXPECT_EQ(zip64->record.totalNumberOfEntriesInCentralDirectory, 65535u);
    EXPECT_EQ(zip64->locator.relativeOffsetOfZIP64EOCDRecord, 6000u);
    EXPECT_EQ(archive.data()->size(), 56u + 20 + 22);

    archive.setEndOfCentralDirectory(EndOfCentralDirectoryRecord{}, std::nullopt);
    EXPECT_EQ(caseOf<ArchiveError>([&] {
                  archive.writeEndOfCentralDirectory(record, 0, 0,
                                                     Archive::ModifyOperation::remove);
              }),
              ArchiveError::Case::invalidCentralDirectorySize);
    EXPECT_EQ(caseOf<ArchiveError>([&] {
                  archive.writeLocalFileHeader(std::string(70000, 'n'), CompressionMethod::none, 0,
                                               0, 0, 0, 0);
              }),
              ArchiveError::Case::invalidEntryPath);
    EXPECT_EQ(caseOf<ArchiveError>([&] {
                  archive.writeLocalFileHeader("\xFF", CompressionMethod::none, 0, 0, 0, 0, 0);
              }),
              ArchiveError::Case::invalidEntryPath);
}

}  // namespace
