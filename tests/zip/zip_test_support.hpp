// Helpers shared by the ZIP tests: a scratch directory, whole-file reads and writes, running the
// peer tools (Info-ZIP zip/unzip/zipinfo, python3), a little-endian record builder and hand-made
// archives of stored entries.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "zip/compression.hpp"
#include "zip/error.hpp"
#include "zip/records.hpp"

namespace ziptest {

namespace fs = std::filesystem;
using zip::Bytes;

// A fresh directory removed at the end of the test.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (fs::path(::testing::TempDir()) / "ziptest-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

inline Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeFile(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline void writeFile(const fs::path& path, const std::string& text) {
    writeFile(path, Bytes(text.begin(), text.end()));
}

inline std::string quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

// Runs a shell command; returns its standard output. Fails the test when it exits non-zero.
inline std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run: " << command;
        return output;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    int status = ::pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "command failed: " << command;
    return output;
}

// Runs a python3 script given as text; returns its standard output.
inline std::string python(const ScratchDir& dir, const std::string& script) {
    fs::path file = dir / "script.py";
    writeFile(file, script);
    return run("python3 " + quote(file.string()));
}

// Python's zipfile.testzip() of the archive ("None" when every member reads back with its CRC),
// after Info-ZIP's `unzip -t` has passed it (a failure of either fails the test).
inline std::string toolsTest(const ScratchDir& dir, const fs::path& archive) {
    run("unzip -tqq " + quote(archive.string()));
    std::string out = python(
        dir, "import zipfile\nprint(zipfile.ZipFile(" + quote(archive.string()) + ").testzip())\n");
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

inline bool haveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Bytes with some structure, so that deflate has work to do but the data is not trivial.
inline Bytes sampleBytes(size_t size, uint32_t seed = 1) {
    std::mt19937 rng(seed);
    Bytes bytes(size);
    const char* words[] = {"note ", "measure ", "<pitch>", "</pitch>\n", "C4 ", "tempo=120 "};
    size_t i = 0;
    while (i < size) {
        if (rng() % 4 == 0) {
            bytes[i++] = static_cast<uint8_t>(rng());
        } else {
            const char* w = words[rng() % 6];
            for (; *w != 0 && i < size; ++w)
                bytes[i++] = static_cast<uint8_t>(*w);
        }
    }
    return bytes;
}

// Little-endian byte builder for hand-made records.
class LE {
  public:
    template <class T>
    LE& put(T value) {
        for (size_t i = 0; i < sizeof(T); ++i)
            bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
        return *this;
    }
    LE& append(const Bytes& b) {
        bytes_.insert(bytes_.end(), b.begin(), b.end());
        return *this;
    }
    LE& append(const std::string& s) {
        bytes_.insert(bytes_.end(), s.begin(), s.end());
        return *this;
    }
    Bytes bytes() const { return bytes_; }
    operator Bytes() const { return bytes_; }

  private:
    Bytes bytes_;
};

// How a hand-made entry's data descriptor is written. Any form but `none` sets flag bit 3: the
// local header holds zeros for the CRC-32 and sizes, and the descriptor after the data holds them,
// with or without its signature, with 32-bit sizes or, in an entry marked ZIP64 by its version
// needed (45), with 64-bit ones.
enum class Descriptor { none, signed32, unsigned32, signed64, unsigned64 };

// Every form with its name, for tables of cases.
struct DescriptorForm {
    const char* name;
    Descriptor form;
};
inline constexpr DescriptorForm descriptorForms[] = {{"none", Descriptor::none},
                                                     {"signed32", Descriptor::signed32},
                                                     {"unsigned32", Descriptor::unsigned32},
                                                     {"signed64", Descriptor::signed64},
                                                     {"unsigned64", Descriptor::unsigned64}};

inline bool isZIP64(Descriptor form) {
    return form == Descriptor::signed64 || form == Descriptor::unsigned64;
}

// The fields a local header and a central record share, from the flags to the name length, for
// a stored entry.
inline LE& storedFields(LE& le, const std::string& name, const std::string& data,
                        Descriptor form = Descriptor::none, bool localHeader = false) {
    const bool deferred = form != Descriptor::none;
    const bool blank = deferred && localHeader;
    const auto size = static_cast<uint32_t>(blank ? 0 : data.size());
    return le.put<uint16_t>(deferred ? 0x0008 : 0)
        .put<uint16_t>(0)
        .put<uint32_t>(0)
        .put<uint32_t>(blank ? 0 : zip::crc32(Bytes(data.begin(), data.end())))
        .put(size)
        .put(size)
        .put<uint16_t>(static_cast<uint16_t>(name.size()));
}

// A stored local header, its data and its descriptor.
inline Bytes localEntry(const std::string& name, const std::string& data,
                        Descriptor form = Descriptor::none) {
    LE le;
    le.put<uint32_t>(0x04034b50).put<uint16_t>(isZIP64(form) ? 45 : 20);
    storedFields(le, name, data, form, true).put<uint16_t>(0).append(name).append(data);
    if (form == Descriptor::none) return le;
    if (form == Descriptor::signed32 || form == Descriptor::signed64) le.put<uint32_t>(0x08074b50);
    le.put<uint32_t>(zip::crc32(Bytes(data.begin(), data.end())));
    if (isZIP64(form)) {
        le.put<uint64_t>(data.size()).put<uint64_t>(data.size());
    } else {
        le.put<uint32_t>(static_cast<uint32_t>(data.size()))
            .put<uint32_t>(static_cast<uint32_t>(data.size()));
    }
    return le;
}

// A central record of a stored entry; `offset` may be the ZIP64 placeholder with `extra` holding
// the value.
inline Bytes centralRecord(const std::string& name, const std::string& data, uint32_t offset,
                           const Bytes& extra = {}, Descriptor form = Descriptor::none) {
    LE le;
    le.put<uint32_t>(0x02014b50)
        .put<uint16_t>(0x031e)
        .put<uint16_t>(extra.empty() && !isZIP64(form) ? 20 : 45);
    return storedFields(le, name, data, form)
        .put<uint16_t>(static_cast<uint16_t>(extra.size()))
        .put<uint16_t>(0)
        .put<uint16_t>(0)
        .put<uint16_t>(0)
        .put<uint32_t>(0100644u << 16)
        .put<uint32_t>(offset)
        .append(name)
        .append(extra);
}

inline Bytes endRecord(uint64_t count, uint64_t size, uint64_t offset) {
    return LE()
        .put<uint32_t>(0x06054b50)
        .put<uint16_t>(0)
        .put<uint16_t>(0)
        .put<uint16_t>(static_cast<uint16_t>(count))
        .put<uint16_t>(static_cast<uint16_t>(count))
        .put<uint32_t>(static_cast<uint32_t>(size))
        .put<uint32_t>(static_cast<uint32_t>(offset))
        .put<uint16_t>(0);
}

// Local entries back to back followed by their directory: `offsets[i]` is where record i points,
// by default at its own local header. Every entry's descriptor is written in `form`.
inline Bytes archiveOf(const std::vector<std::pair<std::string, std::string>>& files,
                       const std::vector<uint32_t>& offsets = {},
                       Descriptor form = Descriptor::none) {
    Bytes bytes;
    std::vector<uint32_t> own;
    for (const auto& [name, data] : files) {
        own.push_back(static_cast<uint32_t>(bytes.size()));
        const Bytes local = localEntry(name, data, form);
        bytes.insert(bytes.end(), local.begin(), local.end());
    }
    const size_t start = bytes.size();
    for (size_t i = 0; i < files.size(); ++i) {
        const Bytes record = centralRecord(files[i].first, files[i].second,
                                           i < offsets.size() ? offsets[i] : own[i], {}, form);
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    const Bytes end = endRecord(files.size(), bytes.size() - start, start);
    bytes.insert(bytes.end(), end.begin(), end.end());
    return bytes;
}

// A check that an exception is the error type E with the expected case.
template <class E>
std::function<void(const std::exception&)> isError(typename E::Case expected) {
    return [expected](const std::exception& e) {
        const auto* error = dynamic_cast<const E*>(&e);
        ASSERT_NE(error, nullptr) << e.what();
        EXPECT_EQ(error->errorCase(), expected) << e.what();
    };
}

// A provider that hands out the bytes of a buffer in order.
inline zip::AdditionalDataProvider providerOf(Bytes bytes) {
    auto state = std::make_shared<std::pair<Bytes, size_t>>(std::move(bytes), 0);
    return [state](size_t count) -> std::optional<Bytes> {
        auto& [data, at] = *state;
        size_t n = std::min(count, data.size() - at);
        Bytes out(data.begin() + static_cast<std::ptrdiff_t>(at),
                  data.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
        return out;
    };
}

}  // namespace ziptest
