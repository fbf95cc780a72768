// Uploads end to end: the controller converts a score, serves it on the loopback interface, and a
// fake headset fetches it following one of its scripts.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "harness.hpp"
#include "large_score.hpp"
#include "loopback_client.hpp"
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
        // The link and the listener report each of their states, setup first.
        const std::string port = std::to_string(h.controller->lastUploadPort());
        EXPECT_TRUE(h.printedInOrder(
            {"Entered state: setup", "Entered state: preparing", "Entered state: ready"}));
        EXPECT_TRUE(h.printedInOrder(
            {"Listener connecting to port " + port + "...", "Listener connected to port " + port}));
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

TEST(UploadMemory, FourUploadsOfALargeScoreKeepNoMoreThanTheFirstLeftBehind) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's allocator stands in for the system allocator, whose per-thread "
                    "pools this is about; run in a build without sanitizers";
#endif
    TempFolder folder;
    const auto score = folder.write("large.musicxml", largePianoScore(3000));
    FakeHeadset::Options headset;
    headset.keepReceived = false;
    headset.reply = {};  // no reply line after "Upload complete"
    Harness h(headset);
    h.controller->start();
    std::vector<size_t> resident;
    for (int upload = 0; upload < 4; ++upload) {
        h.controller->fileImported(score);
        h.controller->uploadPiece();
        ASSERT_TRUE(dispatch::Queue::main()->runUntil(
            [&] { return !h.controller->isUploading.get(); }, 120s));
        ASSERT_EQ(h.controller->outputText().back(), (LogLine{"Upload complete", LogColor::green}));
        resident.push_back(residentBytes());
    }
    ASSERT_TRUE(h.headset->waitForUploads(4, 5s));
    EXPECT_GT(h.headset->uploads().back().receivedSize, 1000000u);  // a large piece indeed
    // The memory a conversion frees is used again by the next one, or given back.
    for (size_t i = 1; i < resident.size(); ++i)
        EXPECT_LE(static_cast<double>(resident[i]), 1.3 * static_cast<double>(resident[0]))
            << "after upload " << i + 1 << ": " << resident[i] / 1000000 << " MB, after the first "
            << resident[0] / 1000000 << " MB";
}

// A client socket on the loopback interface, closed with the object.
struct Client {
    int fd = -1;
    explicit Client(uint16_t port) : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const sockaddr_in to = loopbackEndpoint(port);
        EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
    }
    Client(Client&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    ~Client() {
        if (fd >= 0) ::close(fd);
    }
    void send(std::vector<uint8_t> bytes) const {
        ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    // Whether the server has closed the connection, waiting at most `timeout` for it.
    bool closedByServer(std::chrono::milliseconds timeout) const {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
        uint8_t byte;
        return ::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0;
    }
    std::string readToEnd() const { return receiveToEnd(fd, 5s); }
};

TEST(UploadPeers, SilentConnectionsFromTheHeadsetsAddressAreCappedClosingTheOneIdleLongest) {
    auto captured = std::make_shared<Harness::Captured>();
    TcpUploadServer::Options options;
    options.listenAddress = net::IpAddress::loopbackV4();
    options.port = 0;
    options.allowedPeer = net::IpAddress::loopbackV4();
    options.timeout = 20s;
    options.diagnostics = [captured](const std::string& line) {
        std::lock_guard lock(captured->mutex);
        captured->lines.push_back(line);
    };
    auto server = TcpUploadServer::make(options);
    std::atomic<bool> sent{false};
    server->onMessageSent = [&] { sent = true; };
    server->startServer("a piece");
    auto printed = [&](const std::string& line) {
        std::lock_guard lock(captured->mutex);
        return static_cast<size_t>(
            std::count(captured->lines.begin(), captured->lines.end(), line));
    };
    auto waitPrinted = [&](const std::string& line, size_t count) {
        return dispatch::Queue::main()->runUntil([&] { return printed(line) >= count; }, 5s);
    };

    const size_t cap = options.maximumConnections;
    std::vector<Client> clients;
    for (size_t i = 0; i < cap; ++i) {
        clients.emplace_back(server->port());
        ASSERT_TRUE(waitPrinted("Listener receiving new message", i + 1));
    }
    // The first connection sends a byte: it is no longer the one idle longest.
    clients[0].send({0x00});
    ASSERT_TRUE(waitPrinted("received handshake data: 0", 1));
    const size_t more = 4;
    for (size_t i = 0; i < more; ++i) {
        clients.emplace_back(server->port());
        ASSERT_TRUE(waitPrinted("Listener receiving new message", cap + i + 1));
    }
    // Each further connection closed one of those connected next, in their order.
    for (size_t i = 1; i <= more; ++i)
        EXPECT_TRUE(clients[i].closedByServer(5s)) << i;
    for (size_t i = 0; i < clients.size(); ++i)
        if (i == 0 || i > more) {
            EXPECT_FALSE(clients[i].closedByServer(0ms)) << i;
        }

    // The headset's own connection is still served.
    {
        Client headset(server->port());
        headset.send({TcpUploadServer::handshakeByte});
        EXPECT_EQ(headset.readToEnd(), "a piece");
    }
    EXPECT_TRUE(dispatch::Queue::main()->runUntil([&] { return sent.load(); }, 5s));
    server->stop();
}

// Runs the program at `path` with pipes to its standard input and output.
struct ChildProcess {
    pid_t pid = -1;
    int in = -1, out = -1;
    std::string buffered;

    explicit ChildProcess(const char* path) {
        int toChild[2], fromChild[2];
        EXPECT_EQ(::pipe2(toChild, O_CLOEXEC), 0);
        EXPECT_EQ(::pipe2(fromChild, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        char* argv[] = {const_cast<char*>(path), nullptr};
        EXPECT_EQ(::posix_spawn(&pid, path, &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        in = toChild[1];
        out = fromChild[0];
    }
    ~ChildProcess() {
        ::close(in);
        ::close(out);
        if (pid > 0) ::waitpid(pid, nullptr, 0);
    }
    // The next line the child writes, or none when it ends or says nothing for a minute.
    std::optional<std::string> readLine() {
        for (;;) {
            const auto end = buffered.find('\n');
            if (end != std::string::npos) {
                std::string line = buffered.substr(0, end);
                buffered.erase(0, end + 1);
                return line;
            }
            pollfd p{out, POLLIN, 0};
            char chunk[256];
            if (::poll(&p, 1, 60000) <= 0) return std::nullopt;
            const auto n = ::read(out, chunk, sizeof chunk);
            if (n <= 0) return std::nullopt;
            buffered.append(chunk, static_cast<size_t>(n));
        }
    }
    // The value after `key ` on the next line, or none.
    std::optional<std::string> expect(const std::string& key) {
        auto line = readLine();
        if (!line || line->rfind(key + " ", 0) != 0) return std::nullopt;
        return line->substr(key.size() + 1);
    }
    void writeLine(const std::string& line) const {
        ASSERT_EQ(::write(in, (line + "\n").data(), line.size() + 1),
                  static_cast<ssize_t>(line.size() + 1));
    }
    int exitStatus() {
        int status = 0;
        ::waitpid(std::exchange(pid, -1), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

TEST(UploadPeers, RunningOutOfDescriptorsNeitherSpinsNorKeepsTheHeadsetOut) {
    // The server runs in a process limited to 96 descriptors that has used them all up; this
    // process floods its port with 300 connections from the headset's address.
    ChildProcess child(ACCEPT_BACKOFF_CHILD);
    const auto port = child.expect("port");
    ASSERT_TRUE(port);
    std::vector<Client> flood;
    for (int i = 0; i < 300; ++i)
        flood.emplace_back(static_cast<uint16_t>(std::stoi(*port)));
    child.writeLine("flooded");

    const auto cpu = child.expect("cpu");
    ASSERT_TRUE(cpu);
    // Failed accepts retried at once take a whole core; paced, they take next to nothing.
    EXPECT_LT(std::stod(*cpu), 0.5);
    const auto open = child.expect("open");
    ASSERT_TRUE(open);
    EXPECT_LE(std::stoi(*open), static_cast<int>(TcpUploadServer::Options{}.maximumConnections));
    EXPECT_EQ(child.expect("payload"), "a piece");
    EXPECT_EQ(child.exitStatus(), 0);
}

}  // namespace
}  // namespace companion::testing
