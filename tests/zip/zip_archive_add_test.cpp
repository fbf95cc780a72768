// Adding entries: what we write passes Info-ZIP's and Python's checks, the provider protocol, ZIP64
// where needed, and every failed or refused addition leaves the archive byte for byte as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "zip/archive.hpp"
#include "zip/file_system.hpp"
#include "zip_test_support.hpp"

namespace {

using namespace zip;
using ziptest::Bytes;
using ziptest::quote;
using ziptest::run;
using ziptest::ScratchDir;
namespace fs = std::filesystem;
using Mode = Archive::AccessMode;
using Type = Entry::EntryType;

const Date kWhen{std::chrono::seconds(1710006331)};  // 2024-03-09T17:45:31Z

DataProvider providerOf(const Bytes& bytes) {
    return [&bytes](int64_t position, size_t count) {
        const auto from = bytes.begin() + static_cast<std::ptrdiff_t>(position);
        return Bytes(from, from + static_cast<std::ptrdiff_t>(count));
    };
}

void addBytes(Archive& archive, const std::string& path, const Bytes& bytes,
              CompressionMethod method, Progress* progress = nullptr) {
    archive.addEntry(path, Type::file, static_cast<int64_t>(bytes.size()), kWhen, std::nullopt,
                     method, 16384, progress, providerOf(bytes));
}

Bytes contentOf(const Archive& archive, const std::string& path) {
    Bytes out;
    archive.extract(*archive.entry(path),
                    [&](ByteView piece) { out.insert(out.end(), piece.begin(), piece.end()); });
    return out;
}

// An archive made by Python, with a comment, to add to.
fs::path pythonArchive(const ScratchDir& dir) {
    ziptest::python(dir, R"(
import zipfile, os
d = os.path.dirname(os.path.abspath(__file__))
with zipfile.ZipFile(os.path.join(d, 'base.zip'), 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('first.txt', 'first entry\n' * 50)
    z.writestr('second.bin', bytes(range(256)) * 10)
    z.comment = b'kept comment'
)");
    return dir / "base.zip";
}

TEST(ZipArchiveAdd, FilesDirectoriesAndLinksPassUnzipAndPython) {
    ScratchDir dir;
    const fs::path tree = dir / "tree";
    ziptest::writeFile(tree / "plain.txt", ziptest::sampleBytes(40000, 3));
    ziptest::writeFile(tree / "empty", Bytes{});
    fs::create_directories(tree / "folder");
    fs::create_symlink("plain.txt", tree / "link");
    const fs::path base = pythonArchive(dir);
    for (const bool memory : {false, true}) {
        SCOPED_TRACE(memory ? "memory" : "file");
        const fs::path target = dir / (memory ? "memory.zip" : "file.zip");
        fs::copy_file(base, target);
        Archive archive = memory ? Archive(ziptest::readFile(target), Mode::update)
                                 : Archive(target, Mode::update);
        for (CompressionMethod method : {CompressionMethod::none, CompressionMethod::deflate}) {
            const std::string suffix = method == CompressionMethod::none ? "-stored" : "-deflated";
            archive.addEntry("plain" + suffix, tree / "plain.txt", method);
            archive.addEntry("empty" + suffix, tree / "empty", method);
            archive.addEntry("link" + suffix, tree / "link", method);
        }
        archive.addEntryRelativeTo("folder", tree);
        addBytes(archive, "provided.xml", ziptest::sampleBytes(100000, 9),
                 CompressionMethod::deflate);
        if (memory) ziptest::writeFile(target, *archive.data());

        EXPECT_EQ(ziptest::toolsTest(dir, target), "None");
        const Archive reread(target, Mode::read);
        EXPECT_EQ(reread.endOfCentralDirectoryRecord().zipFileCommentData,
                  Bytes({'k', 'e', 'p', 't', ' ', 'c', 'o', 'm', 'm', 'e', 'n', 't'}));
        EXPECT_EQ(contentOf(reread, "plain-deflated"), ziptest::readFile(tree / "plain.txt"));
        EXPECT_EQ(contentOf(reread, "first.txt").size(), 600u);
        const auto link = reread.entry("link-deflated");
        ASSERT_TRUE(link);
        EXPECT_EQ(link->type(), Type::symlink);
        EXPECT_EQ(link->localFileHeader().compressionMethod, 0) << "links are stored";
        EXPECT_EQ(contentOf(reread, "link-deflated"),
                  Bytes({'p', 'l', 'a', 'i', 'n', '.', 't', 'x', 't'}));
        const auto folder = reread.entry("folder/");
        ASSERT_TRUE(folder) << "a directory's path gets a slash";
        EXPECT_EQ(folder->type(), Type::directory);
        EXPECT_EQ(folder->centralDirectoryStructure().compressionMethod, 0);
        struct stat st {};
        ASSERT_EQ(::lstat((tree / "folder").c_str(), &st), 0);
        EXPECT_EQ(folder->centralDirectoryStructure().externalFileAttributes >> 16, st.st_mode);
        // Info-ZIP lists what we wrote with the types and modes we gave.
        const std::string listing = run("zipinfo " + quote(target.string()));
        EXPECT_NE(listing.find("lrwxrwxrwx"), std::string::npos) << listing;
        EXPECT_NE(listing.find("drwxr-xr-x"), std::string::npos) << listing;
    }
}

TEST(ZipArchiveAdd, ProviderProtocolDefaultsAndOffsets) {
    Archive archive(Bytes{}, Mode::create);
    // An empty archive takes its first local header at offset 0.
    const Bytes data = ziptest::sampleBytes(40000);
    std::vector<std::pair<int64_t, size_t>> calls;
    auto progress = Progress::make();
    std::vector<int64_t> completed;
    archive.addEntry("stored", Type::file, 40000, kWhen, std::nullopt, CompressionMethod::none,
                     16384, progress.get(), [&](int64_t position, size_t count) {
                         calls.emplace_back(position, count);
                         completed.push_back(progress->completedUnitCount());
                         return providerOf(data)(position, count);
                     });
    EXPECT_EQ(calls,
              (std::vector<std::pair<int64_t, size_t>>{{0, 16384}, {16384, 16384}, {32768, 7232}}));
    EXPECT_EQ(completed, (std::vector<int64_t>{0, 16384, 32768}));
    EXPECT_EQ(progress->completedUnitCount(), 40000);
    EXPECT_EQ(progress->totalUnitCount(), 40000);

    bool called = false;
    archive.addEntry("zero", Type::file, 0, kWhen, std::nullopt, CompressionMethod::none, 16384,
                     nullptr, [&](int64_t, size_t) {
                         called = true;
                         return Bytes{};
                     });
    EXPECT_FALSE(called) << "an empty stored file asks for nothing";
    archive.addEntry("dir", Type::directory, 0, kWhen, std::nullopt, CompressionMethod::deflate,
                     16384, nullptr, [](int64_t, size_t) { return Bytes{}; });
    archive.addEntry("perm", Type::file, 0, kWhen, uint16_t{0600}, CompressionMethod::none, 16384,
                     nullptr, providerOf(data));

    struct Expected {
        const char* path;
        uint64_t offset;
        uint32_t mode;
        uint32_t crc;
        uint32_t size;
    };
    const uint32_t crc = static_cast<uint32_t>(::crc32(0, data.data(), 40000));
    const uint64_t second = 30 + 6 + 40000;
    const std::vector<Expected> expected = {
        {"stored", 0, S_IFREG | 0644, crc, 40000},
        {"zero", second, S_IFREG | 0644, 0, 0},
        {"dir", second + 30 + 4, S_IFDIR | 0755, 0, 0},
        {"perm", second + 30 + 4 + 30 + 3, S_IFREG | 0600, 0, 0},
    };
    size_t i = 0;
    for (const Entry& entry : archive) {
        ASSERT_LT(i, expected.size());
        const Expected& e = expected[i++];
        const auto& central = entry.centralDirectoryStructure();
        EXPECT_EQ(entry.path(), e.path);
        EXPECT_EQ(central.relativeOffsetOfLocalHeader, e.offset) << e.path;
        EXPECT_EQ(central.externalFileAttributes >> 16, e.mode) << e.path;
        EXPECT_EQ(central.versionMadeBy, 0x0315) << e.path;
        EXPECT_EQ(entry.localFileHeader().crc32, e.crc) << e.path;
        EXPECT_EQ(entry.localFileHeader().uncompressedSize, e.size) << e.path;
        EXPECT_EQ(entry.localFileHeader().generalPurposeBitFlag, 0x0800) << e.path;
        EXPECT_EQ(entry.localFileHeader().lastModFileDate, 22633) << e.path;
    }
    EXPECT_EQ(i, expected.size());
}

// Every failure, and every refusal, leaves the archive exactly as it was.
TEST(ZipArchiveAdd, FailedAdditionsLeaveTheArchiveByteIdentical) {
    ScratchDir dir;
    const fs::path base = pythonArchive(dir);
    const Bytes original = ziptest::readFile(base);
    const Bytes big = ziptest::sampleBytes(200000, 5);
    const fs::path source = dir / "source.bin";
    ziptest::writeFile(source, big);

    struct Case {
        const char* name;
        std::function<void(Archive&)> add;
        std::function<void(const std::exception&)> check;
    };
    auto archiveCase = ziptest::isError<ArchiveError>;
    const std::vector<Case> cases = {
        {"cancelled in the middle",
         [&](Archive& a) {
             auto progress = Progress::make();
             a.addEntry("big", Type::file, static_cast<int64_t>(big.size()), kWhen, std::nullopt,
                        CompressionMethod::none, 16384, progress.get(),
                        [&](int64_t position, size_t count) {
                            if (position >= 50000) progress->cancel();
                            return providerOf(big)(position, count);
                        });
         },
         archiveCase(ArchiveError::Case::cancelledOperation)},
        {"provider throws while deflating",
         [&](Archive& a) {
             a.addEntry("big", Type::file, static_cast<int64_t>(big.size()), kWhen, std::nullopt,
                        CompressionMethod::deflate, 16384, nullptr,
                        [&](int64_t position, size_t count) {
                            if (position >= 100000) throw std::runtime_error("source gone");
                            return providerOf(big)(position, count);
                        });
         },
         [](const std::exception& e) { EXPECT_STREQ(e.what(), "source gone"); }},
        {"source file shrinks while it is read",
         [&](Archive& a) {
             FILE* in = std::fopen(source.c_str(), "rb");
             a.addEntry("shrinking", Type::file, static_cast<int64_t>(big.size()), kWhen,
                        std::nullopt, CompressionMethod::deflate, 16384, nullptr,
                        [&](int64_t position, size_t count) {
                            if (position > 0) fs::resize_file(source, 20000);
                            return readChunk(count, in);
                        });
         },
         ziptest::isError<DataError>(DataError::Case::unreadableFile)},
        {"empty path", [&](Archive& a) { addBytes(a, "", big, CompressionMethod::none); },
         archiveCase(ArchiveError::Case::invalidEntryPath)},
        {"path not UTF-8",
         [&](Archive& a) { addBytes(a, "bad\xFF", big, CompressionMethod::none); },
         archiveCase(ArchiveError::Case::invalidEntryPath)},
        {"missing item", [&](Archive& a) { a.addEntry("x", dir / "missing"); },
         ziptest::isError<FileError>(FileError::Case::fileReadNoSuchFile)},
    };
    for (const Case& c : cases) {
        for (const bool memory : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (memory ? " (memory)" : " (file)"));
            ziptest::writeFile(source, big);
            const fs::path target = dir / "target.zip";
            ziptest::writeFile(target, original);
            Archive archive =
                memory ? Archive(original, Mode::update) : Archive(target, Mode::update);
            try {
                c.add(archive);
                ADD_FAILURE() << "no error";
            } catch (const std::exception& e) {
                c.check(e);
            }
            EXPECT_EQ(memory ? *archive.data() : ziptest::readFile(target), original);
            // The archive stays usable: a later addition works.
            addBytes(archive, "after", {'o', 'k'}, CompressionMethod::none);
            EXPECT_EQ(contentOf(archive, "after"), Bytes({'o', 'k'}));
        }
    }
    // A read-mode archive is refused before anything happens.
    ziptest::writeFile(dir / "read.zip", original);
    Archive readOnly(dir / "read.zip", Mode::read);
    try {
        readOnly.addEntry("x", source);
        ADD_FAILURE() << "no error";
    } catch (const ArchiveError& e) {
        EXPECT_EQ(e.errorCase(), ArchiveError::Case::unwritableArchive);
    }
    run("cmp " + quote((dir / "read.zip").string()) + " " + quote(base.string()));
}

TEST(ZipArchiveAdd, TransactionsWriteTheDirectoryOnceAndUndoAsAWhole) {
    ScratchDir dir;
    const fs::path base = pythonArchive(dir);
    const Bytes original = ziptest::readFile(base);
    {
        Archive archive(base, Mode::update);
        auto transaction = archive.beginTransaction();
        EXPECT_THROW(archive.beginTransaction(), ArchiveError);
        addBytes(archive, "one", {'1'}, CompressionMethod::none);
        EXPECT_FALSE(archive.makeIterator().next()) << "no directory while open";
        // A failing addition inside is undone alone.
        EXPECT_THROW(archive.addEntry(
                         "two", Type::file, 5, kWhen, std::nullopt, CompressionMethod::none, 16384,
                         nullptr, [](int64_t, size_t) -> Bytes { throw std::runtime_error("no"); }),
                     std::runtime_error);
        addBytes(archive, "three", {'3'}, CompressionMethod::deflate);
        transaction.rollback();
        EXPECT_FALSE(transaction.isOpen());
    }
    EXPECT_EQ(ziptest::readFile(base), original);
    {
        Archive archive(base, Mode::update);
        {
            auto abandoned = archive.beginTransaction();
            addBytes(archive, "dropped", {'d'}, CompressionMethod::none);
        }
        EXPECT_EQ(ziptest::readFile(base), original)
            << "an open transaction rolls back when dropped";
        auto transaction = archive.beginTransaction();
        addBytes(archive, "one", {'1'}, CompressionMethod::none);
        addBytes(archive, "three", {'3'}, CompressionMethod::deflate);
        transaction.commit();
        std::vector<std::string> names;
        for (const Entry& e : archive)
            names.push_back(e.path());
        EXPECT_EQ(names, (std::vector<std::string>{"first.txt", "second.bin", "one", "three"}));
    }
    EXPECT_EQ(ziptest::toolsTest(dir, base), "None");
}

// Entries added in a transaction before a failed one may still sit in the stream's buffer when the
// failed one is undone; they must reach the archive all the same.
TEST(ZipArchiveAdd, AFailedAdditionInATransactionKeepsTheOnesBefore) {
    ScratchDir dir;
    const fs::path base = pythonArchive(dir);
    const Bytes one = ziptest::sampleBytes(3000, 1);
    const Bytes three = ziptest::sampleBytes(5000, 3);
    auto addThree = [&](Archive& archive, CompressionMethod method) {
        auto transaction = archive.beginTransaction();
        addBytes(archive, "one", one, method);
        // Fails after its header and some data have been written.
        EXPECT_THROW(archive.addEntry("two", Type::file, 400000, kWhen, std::nullopt, method,
                                      16384, nullptr,
                                      [](int64_t position, size_t count) -> Bytes {
                                          if (position > 100000) throw std::runtime_error("no");
                                          return Bytes(count, 't');
                                      }),
                     std::runtime_error);
        addBytes(archive, "three", three, method);
        transaction.commit();
    };
    for (CompressionMethod method : {CompressionMethod::none, CompressionMethod::deflate}) {
        SCOPED_TRACE(method == CompressionMethod::none ? "stored" : "deflated");
        const fs::path file = dir / "file.zip";
        fs::copy_file(base, file, fs::copy_options::overwrite_existing);
        {
            Archive archive(file, Mode::update);
            addThree(archive, method);
        }
        Archive memory(ziptest::readFile(base), Mode::update);
        addThree(memory, method);
        ziptest::writeFile(dir / "memory.zip", *memory.data());
        for (const fs::path& written : {file, dir / "memory.zip"}) {
            EXPECT_EQ(ziptest::toolsTest(dir, written), "None") << written;
            const Archive archive(written, Mode::read);
            EXPECT_EQ(contentOf(archive, "one"), one) << written;
            EXPECT_EQ(contentOf(archive, "three"), three) << written;
            EXPECT_FALSE(archive.entry("two")) << written;
        }
    }
}

// 70,000 entries need the ZIP64 end records; both tools read them.
TEST(ZipArchiveAdd, SeventyThousandEntriesGetZIP64EndRecords) {
    ScratchDir dir;
    const fs::path target = dir / "many.zip";
    constexpr int kCount = 70000;
    {
        Archive archive(target, Mode::create);
        auto transaction = archive.beginTransaction();
        char name[16];
        const Bytes one = {'x'};
        for (int i = 0; i < kCount; ++i) {
            std::snprintf(name, sizeof name, "%05d", i);
            archive.addEntry(name, Type::file, 1, kWhen, std::nullopt, CompressionMethod::none,
                             16384, nullptr, providerOf(one));
        }
        transaction.commit();
        ASSERT_TRUE(archive.zip64EndOfCentralDirectory());
        EXPECT_EQ(
            archive.zip64EndOfCentralDirectory()->record.totalNumberOfEntriesInCentralDirectory,
            uint64_t{kCount});
        EXPECT_EQ(archive.endOfCentralDirectoryRecord().totalNumberOfEntriesInCentralDirectory,
                  0xFFFF);
        // One more entry on its own, through the per-addition path.
        archive.addEntry("last", Type::file, 1, kWhen, std::nullopt, CompressionMethod::none, 16384,
                         nullptr, providerOf(one));
    }
    EXPECT_EQ(ziptest::python(dir, "import zipfile\nz = zipfile.ZipFile(" + quote(target.string()) +
                                       ")\nprint(len(z.infolist()), z.testzip(), "
                                       "z.infolist()[-1].filename)\n"),
              "70001 None last\n");
    run("unzip -tqq " + quote(target.string()));
    const Archive reread(target, Mode::read);
    EXPECT_EQ(reread.totalNumberOfEntriesInCentralDirectory(), uint64_t{kCount + 1});
}

// ZIP64 fields need sizes of 4 GiB; the record writers can force their form for small sizes,
// which is what both tools must accept from an entry whose size is not known to fit.
TEST(ZipArchiveAdd, ForcedZIP64LocalHeadersAreReadByBothTools) {
    ScratchDir dir;
    const fs::path target = dir / "forced.zip";
    const Bytes data = ziptest::sampleBytes(30000, 4);
    {
        Archive archive(target, Mode::create);
        FILE* f = archive.archiveFile();
        const LocalFileHeader first = archive.writeLocalFileHeader(
            "forced", CompressionMethod::deflate, data.size(), 0, 0, 0, 0x5869, true);
        auto [written, crc] = archive.writeEntry(
            data.size(), Type::file, CompressionMethod::deflate, 16384, nullptr, providerOf(data));
        const uint64_t start = static_cast<uint64_t>(ftello(f));
        fseeko(f, 0, SEEK_SET);
        const LocalFileHeader header = archive.writeLocalFileHeader(
            "forced", CompressionMethod::deflate, data.size(), written, crc, 0, 0x5869, true);
        EXPECT_EQ(header.data().size(), first.data().size());
        EXPECT_EQ(header.versionNeededToExtract, 45);
        fseeko(f, static_cast<off_t>(start), SEEK_SET);
        const auto record = archive.writeCentralDirectoryStructure(header, 0, 0100644u << 16);
        EXPECT_EQ(record.effectiveCompressedSize(), written);
        auto [end, zip64] = archive.writeEndOfCentralDirectory(
            record, start, static_cast<uint64_t>(ftello(f)), Archive::ModifyOperation::add);
        std::fflush(f);
    }
    EXPECT_EQ(ziptest::toolsTest(dir, target), "None");
    const Archive reread(target, Mode::read);
    EXPECT_EQ(contentOf(reread, "forced"), data);
}

TEST(ZipArchiveAdd, ZIP64IsChosenFromTheWorstCaseCompressedSize) {
    // Our bound is never below zlib's own for the settings we deflate with.
    z_stream stream{};
    ASSERT_EQ(deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY),
              Z_OK);
    for (uint64_t size : {0ull, 1ull, 16383ull, 1ull << 20, 0xFFFF0000ull, 0xFFFFFFFFull}) {
        EXPECT_GE(maximumCompressedSize(CompressionMethod::deflate, size),
                  deflateBound(&stream, static_cast<uLong>(size)))
            << size;
        EXPECT_EQ(maximumCompressedSize(CompressionMethod::none, size), size);
    }
    deflateEnd(&stream);
    // Data just under 4 GiB may deflate past it: its header takes the ZIP64 form from the start.
    EXPECT_GE(maximumCompressedSize(CompressionMethod::deflate, 0xFFFFFFFEull), 0xFFFFFFFFull);
    EXPECT_LT(maximumCompressedSize(CompressionMethod::deflate, 0xFF000000ull), 0xFFFFFFFFull);
    EXPECT_EQ(maximumCompressedSize(CompressionMethod::deflate, UINT64_MAX), UINT64_MAX);
}

// Over 4 GiB for real, from a sparse file: run with ZIP_LARGE_TESTS=1 (minutes, ~5 GB of disk).
TEST(ZipArchiveAdd, SparseFileOverFourGiBLocally) {
    if (std::getenv("ZIP_LARGE_TESTS") == nullptr) GTEST_SKIP() << "set ZIP_LARGE_TESTS=1";
    ScratchDir dir;
    const fs::path sparse = dir / "sparse";
    { std::ofstream(sparse).put('s'); }
    fs::resize_file(sparse, (1ull << 32) + 1000);
    const fs::path target = dir / "large.zip";
    ziptest::writeFile(dir / "small", std::string("after the big ones"));
    {
        Archive archive(target, Mode::create);
        archive.addEntry("deflated", sparse, CompressionMethod::deflate);
        archive.addEntry("stored", sparse, CompressionMethod::none);
        archive.addEntry("small", dir / "small", CompressionMethod::none);
    }
    EXPECT_EQ(ziptest::toolsTest(dir, target), "None");
    const Archive reread(target, Mode::read);
    for (const Entry& entry : reread) {
        SCOPED_TRACE(entry.path());
        const auto& central = entry.centralDirectoryStructure();
        if (entry.path() == "small") {
            EXPECT_EQ(central.relativeOffsetOfLocalHeader, 0xFFFFFFFFu);
            EXPECT_GT(central.effectiveRelativeOffsetOfLocalHeader(), 1ull << 32);
        } else {
            EXPECT_EQ(entry.uncompressedSize(), (1ull << 32) + 1000);
            EXPECT_EQ(entry.localFileHeader().uncompressedSize, 0xFFFFFFFFu);
        }
    }
}

}  // namespace
