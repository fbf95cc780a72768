// TCP listeners and connections with state reports, bounded reads and a send that can end the
// sending side of the stream.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/net.hpp"
#include "net/udp.hpp"

namespace net {

class TcpConnection {
  public:
    // An accepted connection is setup until started, then ready; failed or cancelled at its end.
    enum class State { setup, waiting, preparing, ready, failed, cancelled };
    using StateHandler = std::function<void(State, const ErrorText&)>;
    // Up to the requested count of bytes. `isComplete` is true when the peer has ended its side of
    // the stream (no content then); an error ends receiving on the connection.
    using ReceiveCompletion =
        std::function<void(const Bytes& content, bool isComplete, const ErrorText& error)>;
    using SendCompletion = std::function<void(const ErrorText&)>;

    virtual ~TcpConnection() = default;

    virtual void setStateHandler(StateHandler handler) = 0;
    virtual void start() = 0;
    // Reads at least one and at most `maximum` bytes (the minimum is always one byte).
    virtual void receive(size_t maximum, ReceiveCompletion completion) = 0;
    // Writes all of `bytes`; with `final`, then ends this side of the stream (a half-close: the
    // peer reads to its end, and this side can still read). Never raises SIGPIPE.
    virtual void send(Bytes bytes, bool final, SendCompletion completion) = 0;
    // Closes the connection and reports cancelled (when it was not already failed or cancelled).
    // Waits for the network thread, as UdpConnection::cancel does.
    virtual void cancel() = 0;

    virtual IpAddress remoteAddress() const = 0;
    // "address:port" of the peer, for diagnostics.
    virtual std::string description() const = 0;
};

class TcpListener {
  public:
    // setup, then ready once started; waiting while accepting fails (no descriptors or memory
    // left: the error comes with the state), ready again with the next accepted connection;
    // failed when the listening socket itself is gone, cancelled after cancel().
    enum class State { setup, waiting, ready, failed, cancelled };
    // The pause after a failed accept before the next try.
    static constexpr std::chrono::milliseconds acceptRetryDelay{100};
    using StateHandler = std::function<void(State, const ErrorText&)>;
    using ConnectionHandler = std::function<void(std::shared_ptr<TcpConnection>)>;

    virtual ~TcpListener() = default;

    // Opens, binds (with address reuse, so a port left by an earlier listener is free at once)
    // and listens, on the calling thread: when this returns, peers can connect. Port 0 takes an
    // ephemeral port. Throws NetError::cannotListen.
    static std::shared_ptr<TcpListener> make(IpAddress address, uint16_t port);

    virtual uint16_t port() const = 0;
    virtual void setStateHandler(StateHandler handler) = 0;
    virtual void setNewConnectionHandler(ConnectionHandler handler) = 0;
    // Reports setup, then ready, and hands over every accepted connection, not yet started.
    virtual void start() = 0;
    // Closes the listening socket (the port is free when this returns) and reports cancelled.
    virtual void cancel() = 0;
};

const char* toString(TcpConnection::State state);

}  // namespace net
