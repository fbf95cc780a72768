// A stand-in for the headset application, for tests and manual runs: it binds a UDP port, records
// every datagram it receives, and on the upload call (0xFE 0x00) connects to the computer's upload
// port and follows a script. Plain blocking sockets on a thread of its own, so that it shares no
// code with what it tests.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct sockaddr_storage;

namespace companion {

class FakeHeadset {
  public:
    enum class Script {
        ok,                      // send F8, read to the end of the stream, reply over UDP
        silent,                  // never connect
        wrongByteFirst,          // send 0x00, then F8 a moment later, then as ok
        handshakeWithExtraByte,  // send F8 00 in one segment, then as ok
        abortAfterBytes,         // send F8, read `abortAfter` bytes, then reset the connection
        connectTwice,            // open two connections, handshake on the second, read to the end
        endWithoutHandshake,     // connect and end the stream at once
    };
    static std::optional<Script> scriptNamed(const std::string& name);

    struct Options {
        Script script = Script::ok;
        std::string udpAddress = "127.0.0.1";
        uint16_t udpPort = 0;  // 0: an ephemeral port
        // Where the upload is fetched from; the port is asked for when the call arrives.
        std::string computerAddress = "127.0.0.1";
        std::function<uint16_t()> uploadPort = [] { return uint16_t{4287}; };
        // The local address of the upload connections (none: the system's choice).
        std::optional<std::string> sourceAddress;
        size_t abortAfter = 16;
        std::vector<uint8_t> reply = {'P', 'i', 'e', 'c', 'e', ' ', 'r',
                                      'e', 'c', 'e', 'i', 'v', 'e', 'd'};
        std::chrono::milliseconds ioTimeout = std::chrono::seconds(5);
        // Whether an upload's bytes are kept in Upload::received (only counted otherwise).
        bool keepReceived = true;
    };

    struct Datagram {
        std::vector<uint8_t> bytes;
        std::chrono::steady_clock::time_point arrival;
    };

    // What the last upload call led to.
    struct Upload {
        std::vector<uint8_t> received;       // the bytes read from the upload connection
        size_t receivedSize = 0;             // how many there were
        bool endOfStream = false;            // the computer ended the stream
        bool firstConnectionClosed = false;  // connectTwice: the unused connection was closed
        std::string error;
    };

    explicit FakeHeadset(Options options);  // binds; throws std::runtime_error
    ~FakeHeadset();
    FakeHeadset(const FakeHeadset&) = delete;
    FakeHeadset& operator=(const FakeHeadset&) = delete;

    uint16_t udpPort() const { return udpPort_; }
    std::vector<Datagram> datagrams() const;
    bool waitForDatagrams(size_t count, std::chrono::milliseconds timeout) const;
    // Waits for `count` scripts to have run to their end.
    bool waitForUploads(size_t count, std::chrono::milliseconds timeout) const;
    std::vector<Upload> uploads() const;
    // Called on the headset's thread with every datagram as it arrives.
    void setDatagramObserver(std::function<void(const Datagram&)> observer);
    // Sends `bytes` as one datagram to where the last datagram came from; false when none came
    // yet or sending fails.
    bool reply(const std::vector<uint8_t>& bytes);

  private:
    void run();
    Upload runScript(const ::sockaddr_storage& caller, unsigned callerLength);
    int connectUpload() const;

    Options options_;
    int udp_ = -1;
    uint16_t udpPort_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Datagram> datagrams_;
    std::vector<Upload> uploads_;
    std::function<void(const Datagram&)> observer_;
    std::vector<uint8_t> lastSender_;  // the sockaddr bytes of the last datagram's sender
    std::thread thread_;
};

}  // namespace companion
