// A UDP connection to one remote host and port: whole datagrams out, one datagram in per request,
// with state reports.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/net.hpp"

namespace net {

using Bytes = std::vector<uint8_t>;
// An error's text, or none for success.
using ErrorText = std::optional<std::string>;

class UdpConnection {
  public:
    // setup when made (reported when it starts), preparing while the socket is opened, then
    // ready; failed when it cannot be opened (the error comes with the state); cancelled after
    // cancel(). There is no waiting state: a UDP socket does not wait for a path.
    enum class State { setup, waiting, preparing, ready, failed, cancelled };

    using StateHandler = std::function<void(State, const ErrorText&)>;
    using SendCompletion = std::function<void(const ErrorText&)>;
    // The datagram, or none with an error (or with neither, when the connection was cancelled).
    using ReceiveCompletion = std::function<void(std::optional<Bytes>, const ErrorText&)>;

    virtual ~UdpConnection() = default;

    static std::shared_ptr<UdpConnection> make(IpAddress host, uint16_t port);

    // Handlers run on the network thread. Set them before start().
    virtual void setStateHandler(StateHandler handler) = 0;
    // Called with true once the connection is ready, with false when it fails.
    virtual void setViabilityHandler(std::function<void(bool)> handler) = 0;
    // Kept for callers that report path changes; a socket bound to one route has none to report.
    virtual void setBetterPathHandler(std::function<void(bool)> handler) = 0;

    virtual void start() = 0;
    // Sends one datagram; sends made before the connection is ready go out once it is. The
    // completion runs once the datagram has been handed to the system or has failed.
    virtual void send(Bytes datagram, SendCompletion completion) = 0;
    // Takes the next datagram that arrives. Requests are served one datagram each, in order.
    virtual void receiveMessage(ReceiveCompletion completion) = 0;
    // Closes the socket; outstanding receives complete with neither content nor error. Waits for
    // the network thread, so that nothing of this connection runs once it returns (but the
    // cancelled report, which it runs itself).
    virtual void cancel() = 0;
    virtual State state() const = 0;
};

const char* toString(UdpConnection::State state);

}  // namespace net
