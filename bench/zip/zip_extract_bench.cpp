// Extracting a ~100 MB deflated entry into memory, against a bare zlib inflate of the same
// compressed bytes (alone, and with the checksum and the append the consumer needs) and against
// Info-ZIP's `unzip -p`; and looking entries up by path in an archive of 70,000 entries, the first
// lookup of an opened archive (which walks its directory once) against the later ones.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "zip/archive.hpp"

namespace {

namespace fs = std::filesystem;
constexpr size_t kSize = 100 * 1000 * 1000;

struct Fixture {
    fs::path dir;
    fs::path archive;
    zip::Bytes compressed;
    size_t uncompressedSize = 0;

    Fixture() {
        std::string pattern = (fs::temp_directory_path() / "zipbench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        // Text-like content with some noise, like a large score.
        std::mt19937 rng(42);
        std::string data;
        data.reserve(kSize);
        const char* words[] = {"<note><pitch><step>C</step><octave>4</octave></pitch>",
                               "<duration>1</duration>", "</note>\n", "<rest/>",
                               "<measure number=\""};
        while (data.size() < kSize) {
            data += words[rng() % 5];
            data += std::to_string(rng() % 100000);
        }
        data.resize(kSize);
        const fs::path plain = dir / "score.xml";
        std::ofstream(plain, std::ios::binary)
            .write(data.data(), static_cast<std::streamsize>(data.size()));
        archive = dir / "big.zip";
        const std::string command = "cd '" + dir.string() + "' && zip -q -6 big.zip score.xml";
        if (std::system(command.c_str()) != 0) throw std::runtime_error("zip failed");
        fs::remove(plain);
        zip::Archive a(archive, zip::Archive::AccessMode::read);
        const zip::Entry entry = *a.begin();
        uncompressedSize = entry.uncompressedSize();
        std::ifstream in(archive, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(entry.dataOffset()));
        compressed.resize(entry.compressedSize());
        in.read(reinterpret_cast<char*>(compressed.data()),
                static_cast<std::streamsize>(compressed.size()));
    }
    ~Fixture() { fs::remove_all(dir); }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_ArchiveExtractToMemory(benchmark::State& state) {
    Fixture& f = fixture();
    zip::Bytes out;
    out.reserve(f.uncompressedSize);  // the buffer is reused, as the bare inflate's is
    for (auto _ : state) {
        zip::Archive archive(f.archive, zip::Archive::AccessMode::read);
        const zip::Entry entry = *archive.begin();
        out.clear();
        archive.extract(entry, 16384, false, nullptr, [&](zip::ByteView piece) {
            out.insert(out.end(), piece.begin(), piece.end());
        });
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.uncompressedSize));
}

void BM_BareInflate(benchmark::State& state) {
    Fixture& f = fixture();
    zip::Bytes out(f.uncompressedSize);
    for (auto _ : state) {
        z_stream s{};
        inflateInit2(&s, -15);
        s.next_in = f.compressed.data();
        s.avail_in = static_cast<uInt>(f.compressed.size());
        s.next_out = out.data();
        s.avail_out = static_cast<uInt>(out.size());
        if (inflate(&s, Z_FINISH) != Z_STREAM_END) state.SkipWithError("inflate failed");
        inflateEnd(&s);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.uncompressedSize));
}

// The floor for an appending consumer with the checksum on: bare inflate into a 256 KiB buffer,
// CRC-32 over each output block, and the append of every byte to the consumer's storage.
void BM_BareInflateCRCAppend(benchmark::State& state) {
    Fixture& f = fixture();
    zip::Bytes out;
    out.reserve(f.uncompressedSize);
    zip::Bytes block(256 * 1024);
    for (auto _ : state) {
        out.clear();
        z_stream s{};
        inflateInit2(&s, -15);
        s.next_in = f.compressed.data();
        s.avail_in = static_cast<uInt>(f.compressed.size());
        uLong crc = 0;
        int status = Z_OK;
        while (status == Z_OK) {
            s.next_out = block.data();
            s.avail_out = static_cast<uInt>(block.size());
            status = inflate(&s, Z_NO_FLUSH);
            const size_t produced = block.size() - s.avail_out;
            out.insert(out.end(), block.begin(), block.begin() + static_cast<long>(produced));
            crc = crc32(crc, block.data(), static_cast<uInt>(produced));
        }
        if (status != Z_STREAM_END) state.SkipWithError("inflate failed");
        inflateEnd(&s);
        benchmark::DoNotOptimize(crc);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.uncompressedSize));
}

// An archive of 70,000 small entries, written once in one transaction.
struct ManyEntries {
    static constexpr int kEntries = 70000;
    fs::path dir;
    fs::path archive;

    ManyEntries() {
        std::string pattern = (fs::temp_directory_path() / "zipbench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        archive = dir / "many.zip";
        zip::Archive a(archive, zip::Archive::AccessMode::create);
        auto transaction = a.beginTransaction();
        for (int i = 0; i < kEntries; ++i) {
            a.addEntry(path(i), zip::Entry::EntryType::file, 8, zip::Date{}, std::nullopt,
                       zip::CompressionMethod::none, 16384, nullptr,
                       [](int64_t, size_t count) { return zip::Bytes(count, 'x'); });
        }
        transaction.commit();
    }
    ~ManyEntries() { fs::remove_all(dir); }
    static std::string path(int i) {
        return "dir" + std::to_string(i % 100) + "/file" + std::to_string(i) + ".txt";
    }
};

ManyEntries& manyEntries() {
    static ManyEntries m;
    return m;
}

// Opening the archive and looking up its last entry: the directory is walked once.
void BM_FirstLookupIn70000Entries(benchmark::State& state) {
    ManyEntries& m = manyEntries();
    const std::string last = ManyEntries::path(ManyEntries::kEntries - 1);
    for (auto _ : state) {
        zip::Archive archive(m.archive, zip::Archive::AccessMode::read);
        auto entry = archive.entry(last);
        if (!entry) state.SkipWithError("entry not found");
        benchmark::DoNotOptimize(entry);
    }
}

// Lookups in an archive that was looked into before, spread over the whole directory.
void BM_LaterLookupIn70000Entries(benchmark::State& state) {
    ManyEntries& m = manyEntries();
    zip::Archive archive(m.archive, zip::Archive::AccessMode::read);
    benchmark::DoNotOptimize(archive.entry(ManyEntries::path(0)));
    int i = 0;
    for (auto _ : state) {
        auto entry = archive.entry(ManyEntries::path(i));
        if (!entry) state.SkipWithError("entry not found");
        benchmark::DoNotOptimize(entry);
        i = (i + 7919) % ManyEntries::kEntries;
    }
}

void BM_UnzipToDevNull(benchmark::State& state) {
    Fixture& f = fixture();
    const std::string command = "unzip -p '" + f.archive.string() + "' > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("unzip failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.uncompressedSize));
}

BENCHMARK(BM_ArchiveExtractToMemory)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareInflate)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareInflateCRCAppend)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UnzipToDevNull)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FirstLookupIn70000Entries)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LaterLookupIn70000Entries)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
