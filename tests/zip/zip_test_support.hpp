// Helpers shared by the ZIP tests: a scratch directory, whole-file reads and writes, running the
// peer tools (Info-ZIP zip/unzip/zipinfo, python3) and a little-endian record builder.
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
