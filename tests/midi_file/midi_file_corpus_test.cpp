// Standard MIDI Files that no one here wrote: the examples and libraries of Debian's mma, the
// courses of Debian's pianobooster and files written by mido (a Python MIDI library) with and
// without running status. Each must decode; per track, its messages at their absolute ticks must
// equal mido's reading; decoding what we write must give the same file; and mido must read what
// we write as it read the original.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "midi_file/midi_file.hpp"
#include "midi_file/variable_length.hpp"
#include "midi_support/number_text.hpp"

using namespace midifile;
namespace fs = std::filesystem;

namespace {

constexpr const char* python = "/usr/bin/python3";

std::string run(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string out;
    if (!pipe) return out;
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) out.append(buffer, n);
    return out;
}

std::string script() {
    return std::string(python) + " '" +
           (fs::path(PROJECT_SOURCE_DIR) / "tests/midi_file/mido_tracks.py").string() + "'";
}

// Lower-case hexadecimal, as Python writes it.
std::string hex(std::span<const uint8_t> bytes) {
    std::string text = midisupport::hexString(bytes, 2, false, "");
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Our reading, one message per line as mido lists them: "<track> <absolute tick> <hex>"; a
// channel event of several messages (a parameter change) as each message, system exclusive
// without its length.
std::string ourReading(const MIDIFile& file) {
    std::string lines;
    size_t number = 0;
    for (const auto& track : file.tracks()) {
        uint64_t tick = 0;
        for (const MIDIFileEvent& event : track.events) {
            tick += event.delta().ticksValue(MIDIFileTimeBase::musical(960)).value_or(0);
            const std::vector<uint8_t> bytes = event.smfRawBytes();
            const std::string at = std::to_string(number) + " " + std::to_string(tick) + " ";
            if (bytes[0] == 0xF0) {
                const auto length = decodeVariableLengthValue(std::span(bytes).subspan(1));
                lines += at + "f0" + hex(std::span(bytes).subspan(1 + length->byteLength)) + "\n";
            } else if (bytes[0] < 0xF0) {
                for (size_t i = 0; i < bytes.size();) {
                    const size_t n = (bytes[i] >> 4) == 0xC || (bytes[i] >> 4) == 0xD ? 2 : 3;
                    lines += at + hex(std::span(bytes).subspan(i, n)) + "\n";
                    i += n;
                }
            } else {
                lines += at + hex(bytes) + "\n";
            }
        }
        ++number;
    }
    return lines;
}

void write(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::vector<fs::path> corpus(const fs::path& scratch) {
    std::vector<fs::path> files;
    for (const char* root : {"/usr/share/doc/mma", "/usr/share/mma", "/usr/share/doc/pianobooster"}) {
        if (!fs::exists(root)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.is_regular_file() && entry.path().extension() == ".mid") {
                files.push_back(entry.path());
            }
        }
    }
    std::istringstream written(run(script() + " write '" + scratch.string() + "'"));
    for (std::string line; std::getline(written, line);) files.emplace_back(line);
    return files;
}

TEST(MIDIFileCorpus, PeerFilesReadAsMidoReadsThemAndWriteBack) {
    const fs::path scratch = fs::temp_directory_path() / ("midi_file_corpus_" + std::to_string(::getpid()));
    fs::create_directories(scratch / "ours");
    const std::vector<fs::path> files = corpus(scratch);
    size_t peerFiles = 0;
    for (const auto& f : files) peerFiles += f.string().starts_with("/usr/share/") ? 1 : 0;
    ASSERT_GE(peerFiles, 70u) << "mma and pianobooster are missing; run scripts/install-deps.sh";
    ASSERT_EQ(files.size(), peerFiles + 2) << "mido did not write its files; install python3-mido";

    std::ofstream listing(scratch / "listing");
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].string());
        MIDIFile file;
        ASSERT_NO_THROW(file = MIDIFile::fromPath(files[i]));
        const std::vector<uint8_t> bytes = file.rawData();
        EXPECT_EQ(MIDIFile::fromRawData(bytes), file);
        const fs::path rewritten = scratch / "ours" / (std::to_string(i) + ".mid");
        const fs::path reading = scratch / "ours" / (std::to_string(i) + ".txt");
        write(rewritten, std::string(bytes.begin(), bytes.end()));
        write(reading, ourReading(file));
        listing << files[i].string() << ' ' << rewritten.string() << ' ' << reading.string() << '\n';
    }
    listing.close();
    EXPECT_EQ(run(script() + " check '" + (scratch / "listing").string() + "'"),
              "checked " + std::to_string(files.size()) + "\n");
    fs::remove_all(scratch);
}

}  // namespace
