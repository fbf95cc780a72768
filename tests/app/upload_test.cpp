// Uploads end to end: the controller converts a score, serves it on the loopback interface, and a
// fake headset fetches it following one of its scripts.
#include <fstream>

#include <gtest/gtest.h>

#include "harness.hpp"
#include "net/tcp.hpp"
#include "score/musicxml_converter.hpp"

namespace companion::testing {
namespace {

using Script = FakeHeadset::Script;
const std::filesystem::path scoreFile =
    std::filesystem::path(PROJECT_TEST_DATA_DIR) / "musicxml" / "clair-de-la-lune.musicxml";

// The payload, made here straight from the score library.
std::string expectedPayload(const std::string& name) {
    score::JpsMusicXmlConverter converter;
    converter.convertToJps(scoreFile);
    return name + "\n" + converter.jpsData()->json();
}

std::string text(const std::vector<uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

bool portIsFree(uint16_t port) {
    try {
        net::TcpListener::make(net::IpAddress::loopbackV4(), port);
        return true;
    } catch (const net::NetError&) {
        return false;
    }
}

struct ScriptCase {
    const char* name;
    Script script;
    // The last log line: "Upload complete" in green, or a failure in red starting so.
    const char* lastLine;
};

void PrintTo(const ScriptCase& c, std::ostream* os) {
    *os << c.name;
}

class UploadScripts : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(UploadScripts, EndInADefinedStateWithinTheTimeoutAndFreeThePort) {
    const auto& c = GetParam();
    FakeHeadset::Options headset;
    headset.script = c.script;
    headset.reply = {'o', 'k', 0xFF};  // a reply that is not valid UTF-8
    const bool complete = std::string(c.lastLine) == "Upload complete";
    // A deadline of one second for the scripts that run into it; a roomy one for the others,
    // which must not depend on the machine's load.
    CompanionOptions options;
    options.uploadTimeout = complete ? std::chrono::seconds(20) : std::chrono::seconds(1);
    Harness h(headset, options);
    h.controller->start();
    ASSERT_TRUE(h.upload(scoreFile));

    const LogLine reply{"Received message: ok\xEF\xBF\xBD", LogColor::white};
    // On success the headset's reply to the upload call comes too (U+FFFD for its ill-formed
    // byte), before or after the end of the upload.
    ASSERT_TRUE(h.until([&] { return h.controller->outputText().size() == (complete ? 6u : 5u); }));
    auto log = h.logSince(0);
    EXPECT_EQ(std::vector<LogLine>(log.begin(), log.begin() + 4),
              (std::vector<LogLine>{{"Server started", LogColor::white},
                                    {"Converting piece...", LogColor::gray},
                                    {"Conversion successful", LogColor::yellow},
                                    {"Uploading piece...", LogColor::gray}}));
    if (complete) {
        const auto at = std::find(log.begin() + 4, log.end(), reply);
        ASSERT_NE(at, log.end());
        log.erase(at);
    }
    const auto& last = log[4];
    EXPECT_EQ(last.color, complete ? LogColor::green : LogColor::red);
    EXPECT_EQ(last.text.rfind(c.lastLine, 0), 0u) << last.text;

    ASSERT_TRUE(h.headset->waitForUploads(1, 5s));
    const auto fetched = h.headset->uploads().front();
    if (complete) {
        EXPECT_EQ(text(fetched.received), expectedPayload("clair-de-la-lune.jps"));
        EXPECT_TRUE(fetched.endOfStream);
        for (const char* line :
             {"254 0", "Listener receiving new message", "received handshake data: 248",
              "sending message", "Sending complete", "Server stopped"})
            EXPECT_TRUE(h.printedLine(line)) << line;
    }
    if (c.script == Script::connectTwice) {
        EXPECT_TRUE(fetched.firstConnectionClosed);
    }
    if (c.script == Script::wrongByteFirst) {
        EXPECT_TRUE(h.printedLine("received handshake data: 0"));
    }
    const uint16_t port = h.controller->lastUploadPort();
    EXPECT_TRUE(h.printedLine("Listener disconnected from port " + std::to_string(port)));
    EXPECT_TRUE(portIsFree(port));
    EXPECT_EQ(h.offMainCalls, 0);
}

INSTANTIATE_TEST_SUITE_P(
    , UploadScripts,
    ::testing::Values(ScriptCase{"ok", Script::ok, "Upload complete"},
                      ScriptCase{"silent", Script::silent,
                                 "Upload failed: the headset did not connect within 1 s"},
                      ScriptCase{"wrongByteFirst", Script::wrongByteFirst, "Upload complete"},
                      ScriptCase{"handshakeWithExtraByte", Script::handshakeWithExtraByte,
                                 "Upload complete"},
                      ScriptCase{"abortAfterBytes", Script::abortAfterBytes, "Upload failed: "},
                      ScriptCase{"connectTwice", Script::connectTwice, "Upload complete"},
                      ScriptCase{"endWithoutHandshake", Script::endWithoutHandshake,
                                 "Upload failed: the headset sent no handshake within 1 s"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TempFolder {
    std::filesystem::path path;
    TempFolder() {
        char pattern[] = "/tmp/app_upload_XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
    std::filesystem::path write(const std::string& name, const std::string& content) const {
        std::ofstream(path / name, std::ios::binary) << content;
        return path / name;
    }
};

TEST(UploadFailures, FollowTheConversionLinesAndSendNoUploadCall) {
    TempFolder folder;
    std::ifstream in(scoreFile, std::ios::binary);
    const std::string score((std::istreambuf_iterator<char>(in)), {});
    struct Case {
        std::optional<std::filesystem::path> file;
        std::vector<LogLine> lines;  // after "Converting piece..."; empty text: any red sentence
    } cases[] = {
        {std::nullopt, {{"Conversion failed", LogColor::red}}},
        {folder.write("song.mid", "MThd"),
         {{"Conversion of MIDI files is not supported yet", LogColor::red},
          {"Conversion failed", LogColor::red}}},
        {folder.path / "missing.musicxml",
         {{"Errors in the sheet music file were found", LogColor::white},
          {"Conversion failed", LogColor::red}}},
        {folder.write("page.xml", "<html><body/></html>"),
         {{"", LogColor::red}, {"Conversion failed", LogColor::red}}},
        {folder.write("two\nlines.musicxml", score),
         {{"The file name must not hold a line break", LogColor::red},
          {"Conversion failed", LogColor::red}}},
    };
    Harness h;
    h.controller->start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file ? c.file->string() : "no file");
        const size_t before = h.controller->outputText().size();
        if (c.file) h.controller->fileImported(*c.file);
        ASSERT_TRUE(h.until([&] {
            h.controller->uploadPiece();
            return true;
        }));
        ASSERT_TRUE(h.until([&] { return !h.controller->isUploading.get(); }));
        auto log = h.logSince(before);
        ASSERT_EQ(log.size(), c.lines.size() + 1);
        EXPECT_EQ(log[0], (LogLine{"Converting piece...", LogColor::gray}));
        for (size_t i = 0; i < c.lines.size(); ++i) {
            EXPECT_EQ(log[i + 1].color, c.lines[i].color);
            if (!c.lines[i].text.empty()) {
                EXPECT_EQ(log[i + 1].text, c.lines[i].text);
            } else {
                EXPECT_FALSE(log[i + 1].text.empty());
            }
        }
    }
    EXPECT_TRUE(h.headset->datagrams().empty());
}

TEST(UploadFailures, ABusyPortEndsTheUploadInRedWithoutCallingTheHeadset) {
    auto squatter = net::TcpListener::make(net::IpAddress::loopbackV4(), 0);
    CompanionOptions options;
    options.uploadPort = squatter->port();
    Harness h({}, options);
    h.controller->start();
    ASSERT_TRUE(h.upload(scoreFile));
    const auto last = h.controller->outputText().back();
    EXPECT_EQ(last.color, LogColor::red);
    EXPECT_EQ(last.text.rfind("Could not open the upload port", 0), 0u) << last.text;
    EXPECT_TRUE(h.headset->datagrams().empty());
}

TEST(UploadName, IllFormedUtf8InTheFileNameIsSentAsReplacementCharacters) {
    TempFolder folder;
    std::filesystem::copy_file(scoreFile, folder.path / "caf\xE9.musicxml");
    Harness h;
    h.controller->start();
    ASSERT_TRUE(h.upload(folder.path / "caf\xE9.musicxml"));
    EXPECT_EQ(h.controller->outputText().back(), (LogLine{"Upload complete", LogColor::green}));
    ASSERT_TRUE(h.headset->waitForUploads(1, 5s));
    const std::string received = text(h.headset->uploads().front().received);
    EXPECT_EQ(received, expectedPayload("caf\xEF\xBF\xBD.jps"));
}

TEST(UploadPeers, OnlyTheHeadsetsAddressIsServed) {
    // The headset stand-in connects from 127.0.0.2 while the user typed 127.0.0.1.
    FakeHeadset::Options intruder;
    intruder.sourceAddress = "127.0.0.2";
    CompanionOptions options;
    options.uploadTimeout = std::chrono::seconds(1);
    Harness h(intruder, options);
    h.controller->start();
    ASSERT_TRUE(h.upload(scoreFile));
    ASSERT_TRUE(h.headset->waitForUploads(1, 5s));
    const auto fetched = h.headset->uploads().front();
    EXPECT_TRUE(fetched.received.empty());
    EXPECT_TRUE(h.printedLineStarting("Listener refused a connection from 127.0.0.2:"));
    EXPECT_EQ(h.controller->outputText().back(),
              (LogLine{"Upload failed: the headset did not connect within 1 s", LogColor::red}));
}

TEST(UploadStop, StopBeforeTheHeadsetConnectsClosesTheListenerAtOnce) {
    FakeHeadset::Options silent;
    silent.script = Script::silent;
    CompanionOptions options;
    options.uploadTimeout = std::chrono::seconds(30);
    Harness h(silent, options);
    h.controller->start();
    h.controller->fileImported(scoreFile);
    h.controller->uploadPiece();
    ASSERT_TRUE(h.until([&] { return h.controller->lastUploadPort() != 0; }));
    ASSERT_TRUE(h.headset->waitForDatagrams(1, 5s));  // the upload call
    const uint16_t port = h.controller->lastUploadPort();
    EXPECT_FALSE(portIsFree(port));
    h.controller->stop();
    EXPECT_TRUE(portIsFree(port));
    EXPECT_FALSE(h.controller->isUploading.get());
    EXPECT_FALSE(h.controller->isRunning.get());
    EXPECT_EQ(h.controller->outputText().back(), (LogLine{"Server stopped", LogColor::white}));
}

}  // namespace
}  // namespace companion::testing
