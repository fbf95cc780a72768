// Delivers one piece to the headset over TCP. The headset, called over UDP, connects and sends the
// handshake byte 0xF8; the server answers with the payload as one final message (its side of the
// stream ends there), waits for the headset to close its side, and reports completion. One server
// serves one upload.
//
// Bounded everywhere: the whole upload has a deadline (`timeout`), and the wait for the headset's
// close has its own (`closeTimeout`). Only connections from `allowedPeer` are served (others are
// closed at once), at most `maximumConnections` of them open at a time; a connection that ends or
// fails before its handshake is closed, and once a handshake arrives every other connection is
// closed. Accepting pauses briefly after a failure (see net::TcpListener), so running out of
// descriptors does not make the network thread spin.
//
// Threads: startServer() and stop() may be called from any thread; everything else, the callbacks
// included, runs on the network thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/diagnostics.hpp"
#include "net/net.hpp"
#include "net/tcp.hpp"

namespace companion {

class TcpUploadServer : public std::enable_shared_from_this<TcpUploadServer> {
  public:
    static constexpr uint16_t defaultPort = 4287;
    static constexpr uint8_t handshakeByte = 0xF8;

    struct Options {
        net::IpAddress listenAddress = net::IpAddress::anyV6();
        uint16_t port = defaultPort;  // 0: an ephemeral port (tests)
        // The headset's address; none serves any peer.
        std::optional<net::IpAddress> allowedPeer;
        std::chrono::milliseconds timeout = std::chrono::seconds(60);
        std::chrono::milliseconds closeTimeout = std::chrono::seconds(5);
        DiagnosticSink diagnostics = standardOutput();
        // How many connections waiting for their handshake are kept open at once; a further one
        // closes the one that has been idle longest (connected or sent a byte least recently).
        size_t maximumConnections = 8;
    };

    static std::shared_ptr<TcpUploadServer> make(Options options);
    ~TcpUploadServer();

    // Called on the calling thread of startServer() once the listener is listening.
    std::function<void()> onServerStarted;
    // Called once the payload has been delivered.
    std::function<void()> onMessageSent;
    // Called with a sentence when the upload ends without delivery (timeout, reset, send error).
    std::function<void(const std::string&)> onFailed;

    // Stores the payload, opens the listener and then calls onServerStarted. Throws
    // net::NetError (and calls nothing) when the port cannot be opened.
    void startServer(std::string payload);
    // Ends the upload: no more receives, every connection and the listener closed (the port is
    // free when this returns). No callback is called afterwards.
    void stop();

    // The port listened on (the ephemeral one when the options asked for 0); 0 before start.
    uint16_t port() const { return boundPort_.load(); }
    bool listening() const { return listening_.load(); }
    bool isReady() const { return isReady_.load(); }

  private:
    explicit TcpUploadServer(Options options);

    void print(const std::string& line) const;
    void listenerState(net::TcpListener::State state);
    void handleConnection(const std::shared_ptr<net::TcpConnection>& connection);
    void receive(const std::shared_ptr<net::TcpConnection>& connection);
    void handleHandshake(const std::shared_ptr<net::TcpConnection>& connection,
                         const net::Bytes& content);
    void sendPayload(const std::shared_ptr<net::TcpConnection>& connection);
    void awaitPeerClose(const std::shared_ptr<net::TcpConnection>& connection);
    void drop(const std::shared_ptr<net::TcpConnection>& connection);
    // Marks the connection as the most recently active one.
    void touch(const std::shared_ptr<net::TcpConnection>& connection);
    void timedOut();
    void finish(std::optional<std::string> failure);
    void closeAll();

    Options options_;
    std::string payload_;
    std::shared_ptr<net::TcpListener> listener_;
    std::atomic<uint16_t> boundPort_{0};
    std::atomic<bool> listening_{true};
    std::atomic<bool> isReady_{false};

    // Network thread only. The connections waiting for a handshake, least recently active first.
    std::vector<std::shared_ptr<net::TcpConnection>> connections_;
    std::shared_ptr<net::TcpConnection> sending_;
    bool everConnected_ = false;
    bool finished_ = false;
    std::shared_ptr<net::Timer> deadline_;
    std::shared_ptr<net::Timer> closeDeadline_;
};

}  // namespace companion
