// Meta events written by mido (a Python MIDI library) are read by the payload decoders into the
// fields mido was given, and the encoders write the same bytes again.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "midi_file/file_event.hpp"

using namespace midifile;

namespace {

using Bytes = std::vector<uint8_t>;

// Debian's python3-mido lives with the system interpreter.
constexpr const char* python = "/usr/bin/python3";

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '|');) fields.push_back(field);
    if (!line.empty() && line.back() == '|') fields.emplace_back();
    return fields;
}

Bytes fromHex(const std::string& hex) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::vector<std::string> midoLines() {
    const std::string script =
        (std::filesystem::path(PROJECT_SOURCE_DIR) / "tests/midi_file/mido_meta_events.py").string();
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(
        popen((std::string(python) + " '" + script + "'").c_str(), "r"), pclose);
    std::vector<std::string> lines;
    if (!pipe) return lines;
    std::string line;
    for (int c; (c = fgetc(pipe.get())) != EOF;) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    return lines;
}

// Decodes `bytes` as P, checks that the whole event was taken and that encoding gives it back.
template <class P>
P readAndRewrite(const Bytes& bytes, const std::string& line) {
    const auto decoded = decodePayload<P>(bytes);
    EXPECT_TRUE(decoded) << line << ": " << (decoded ? "" : decoded.failure().message());
    if (!decoded) return P{};
    EXPECT_EQ(decoded->byteCount, static_cast<int64_t>(bytes.size())) << line;
    EXPECT_EQ(smfRawBytes(decoded->payload), bytes) << line;
    return decoded->payload;
}

TEST(MidoInterop, MetaEventsReadAndWriteBack) {
    const auto lines = midoLines();
    ASSERT_GT(lines.size(), 70u) << "mido did not run; install python3-mido";
    std::map<std::string, int> seen;
    for (const std::string& line : lines) {
        const auto f = fieldsOf(line);
        ASSERT_GE(f.size(), 3u) << line;
        const std::string& kind = f[0];
        const Bytes bytes = fromHex(f.back());
        ++seen[kind.substr(0, kind.find(':'))];
        if (kind == "sequenceNumber") {
            EXPECT_EQ(readAndRewrite<SequenceNumber>(bytes, line).sequence(), std::stoi(f[1]));
        } else if (kind == "channelPrefix") {
            EXPECT_EQ(readAndRewrite<ChannelPrefix>(bytes, line).channel, std::stoi(f[1]));
        } else if (kind == "portPrefix") {
            EXPECT_EQ(readAndRewrite<PortPrefix>(bytes, line).port, std::stoi(f[1]));
        } else if (kind == "keySignature") {
            const auto key = readAndRewrite<KeySignature>(bytes, line);
            EXPECT_EQ(key.flatsOrSharps(), std::stoi(f[1])) << line;
            EXPECT_EQ(key.majorKey(), f[2] == "1") << line;
        } else if (kind == "tempo") {
            EXPECT_EQ(readAndRewrite<Tempo>(bytes, line).microsecondsPerQuarterNote(),
                      static_cast<uint32_t>(std::stoul(f[1])));
        } else if (kind == "timeSignature") {
            const auto meter = readAndRewrite<TimeSignature>(bytes, line);
            EXPECT_EQ(meter, (TimeSignature{static_cast<uint8_t>(std::stoi(f[1])),
                                            static_cast<uint8_t>(std::stoi(f[2])),
                                            static_cast<uint8_t>(std::stoi(f[3])),
                                            static_cast<uint8_t>(std::stoi(f[4]))}));
        } else if (kind.starts_with("text:")) {
            const auto type = fromRawValue<TextEventType>(kind.substr(5));
            ASSERT_TRUE(type) << line;
            EXPECT_EQ(readAndRewrite<Text>(bytes, line), Text(*type, f[1]));
        } else if (kind == "sequencerSpecific") {
            EXPECT_EQ(readAndRewrite<SequencerSpecific>(bytes, line).data.size(), std::stoul(f[1]));
        } else if (kind == "unrecognizedMeta") {
            const auto meta = readAndRewrite<UnrecognizedMeta>(bytes, line);
            EXPECT_EQ(meta.metaType, std::stoi(f[1])) << line;
            EXPECT_EQ(meta.data.size(), std::stoul(f[2])) << line;
        } else {
            ADD_FAILURE() << "unknown kind " << line;
        }
    }
    EXPECT_EQ(seen.size(), 9u);
}

}  // namespace
