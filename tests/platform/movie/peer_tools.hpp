// Running ffmpeg and ffprobe from the movie tests: making small movies and reading what ffprobe
// reports about them.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>
#include <unistd.h>

namespace movietest {

struct CommandResult {
    int status = -1;
    std::string output;
};

inline CommandResult run(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        result.output.append(buffer.data(), got);
    }
    result.status = ::pclose(pipe);
    return result;
}

// A directory of its own for one test, removed afterwards.
class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "movie-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Runs ffmpeg with a tiny generated picture source (16x16, a few frames) and the given output
// options; fails the test when ffmpeg fails.
inline void makeMovie(const std::filesystem::path& out, const std::string& rate, const std::string& options,
                      int frames = 3, const std::string& input = "color=c=black:s=16x16") {
    std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i " + input + ":r=" + rate +
                          " -frames:v " + std::to_string(frames) + " " + options + " -f mov '" + out.string() + "'";
    ASSERT_EQ(run(command).status, 0) << command;
}

// ffprobe's stream fields, keyed like "0.codec_type" or "1.tags.timecode".
inline std::map<std::string, std::string> probeStreams(const std::filesystem::path& file) {
    auto result = run("ffprobe -v error -show_streams -of flat '" + file.string() + "'");
    std::map<std::string, std::string> fields;
    std::size_t start = 0;
    const std::string prefix = "streams.stream.";
    while (start < result.output.size()) {
        std::size_t end = result.output.find('\n', start);
        if (end == std::string::npos) {
            end = result.output.size();
        }
        std::string line = result.output.substr(start, end - start);
        start = end + 1;
        std::size_t equals = line.find('=');
        if (line.rfind(prefix, 0) != 0 || equals == std::string::npos) {
            continue;
        }
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        fields[line.substr(prefix.size(), equals - prefix.size())] = value;
    }
    return fields;
}

inline std::vector<uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace movietest
