#include <mutex>

#include "detail.hpp"
#include "net/tcp.hpp"

namespace net {

const char* toString(TcpConnection::State state) {
    switch (state) {
        case TcpConnection::State::setup:
            return "setup";
        case TcpConnection::State::waiting:
            return "waiting";
        case TcpConnection::State::preparing:
            return "preparing";
        case TcpConnection::State::ready:
            return "ready";
        case TcpConnection::State::failed:
            return "failed";
        case TcpConnection::State::cancelled:
            return "cancelled";
    }
    return "unknown";
}

namespace {

template <class State, class Handler>
class Reporter {
  public:
    void setHandler(Handler handler) {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }
    State state() const {
        std::lock_guard lock(mutex_);
        return state_;
    }
    bool ended() const {
        const State s = state();
        return s == State::failed || s == State::cancelled;
    }
    void report(State state, const ErrorText& error) {
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            state_ = state;
            handler = handler_;
        }
        if (handler) handler(state, error);
    }

  private:
    mutable std::mutex mutex_;
    State state_ = State::setup;
    Handler handler_;
};

// Operations run on the network thread; the socket is touched nowhere else.
class AsioTcpConnection final : public TcpConnection,
                                public std::enable_shared_from_this<AsioTcpConnection> {
  public:
    explicit AsioTcpConnection(asio::ip::tcp::socket socket) : socket_(std::move(socket)) {
        std::error_code error;
        const auto peer = socket_.remote_endpoint(error);
        if (!error) {
            remote_ = detail::fromAsio(peer.address());
            description_ = remote_.toString() + ":" + std::to_string(peer.port());
        } else {
            description_ = "(unknown peer)";
        }
    }

    void setStateHandler(StateHandler handler) override {
        reporter_.setHandler(std::move(handler));
    }

    void start() override {
        post([self = shared_from_this()] {
            if (self->reporter_.state() != State::setup) return;
            self->reporter_.report(State::preparing, std::nullopt);
            self->reporter_.report(State::ready, std::nullopt);
        });
    }

    void receive(size_t maximum, ReceiveCompletion completion) override {
        post([self = shared_from_this(), maximum, completion = std::move(completion)]() mutable {
            if (self->reporter_.ended()) {
                completion({}, false, std::string("the connection is closed"));
                return;
            }
            auto buffer = std::make_shared<Bytes>(std::max<size_t>(maximum, 1));
            self->socket_.async_read_some(asio::buffer(*buffer),
                                          [self, buffer, completion = std::move(completion)](
                                              const std::error_code& error, size_t n) {
                                              if (error == asio::error::eof) {
                                                  completion({}, true, std::nullopt);
                                              } else if (error) {
                                                  completion({}, false, detail::errorText(error));
                                              } else {
                                                  buffer->resize(n);
                                                  completion(*buffer, false, std::nullopt);
                                              }
                                          });
        });
    }

    void send(Bytes bytes, bool final, SendCompletion completion) override {
        post([self = shared_from_this(), bytes = std::make_shared<Bytes>(std::move(bytes)), final,
              completion = std::move(completion)]() mutable {
            if (self->reporter_.ended()) {
                if (completion) completion(std::string("the connection is closed"));
                return;
            }
            // Asio writes to stream sockets with MSG_NOSIGNAL: a peer that is gone gives an
            // error, never SIGPIPE.
            asio::async_write(self->socket_, asio::buffer(*bytes),
                              [self, bytes, final, completion = std::move(completion)](
                                  std::error_code error, size_t) {
                                  if (!error && final)
                                      self->socket_.shutdown(asio::ip::tcp::socket::shutdown_send,
                                                             error);
                                  if (!completion) return;
                                  if (error)
                                      completion(detail::errorText(error));
                                  else
                                      completion(std::nullopt);
                              });
        });
    }

    void cancel() override {
        auto self = shared_from_this();
        runOnNetworkThread([self] {
            if (self->reporter_.ended()) return;
            std::error_code ignored;
            self->socket_.close(ignored);
            self->reporter_.report(State::cancelled, std::nullopt);
        });
    }

    IpAddress remoteAddress() const override { return remote_; }
    std::string description() const override { return description_; }

  private:
    asio::ip::tcp::socket socket_;
    IpAddress remote_;
    std::string description_;
    Reporter<State, StateHandler> reporter_;
};

class AsioTcpListener final : public TcpListener,
                              public std::enable_shared_from_this<AsioTcpListener> {
  public:
    AsioTcpListener(IpAddress address, uint16_t port) : acceptor_(detail::ioContext()) {
        const asio::ip::tcp::endpoint endpoint(detail::toAsio(address), port);
        std::error_code error;
        acceptor_.open(endpoint.protocol(), error);
        if (!error) acceptor_.set_option(asio::socket_base::reuse_address(true), error);
        if (!error) acceptor_.bind(endpoint, error);
        if (!error) acceptor_.listen(asio::socket_base::max_listen_connections, error);
        if (!error) port_ = acceptor_.local_endpoint(error).port();
        if (error) {
            std::error_code ignored;
            acceptor_.close(ignored);
            throw NetError(NetError::Case::cannotListen, "cannot listen on " + address.toString() +
                                                             " port " + std::to_string(port) +
                                                             ": " + detail::errorText(error));
        }
    }

    uint16_t port() const override { return port_; }
    void setStateHandler(StateHandler handler) override {
        reporter_.setHandler(std::move(handler));
    }
    void setNewConnectionHandler(ConnectionHandler handler) override {
        std::lock_guard lock(mutex_);
        connectionHandler_ = std::move(handler);
    }

    void start() override {
        post([self = shared_from_this()] {
            // Only the first start: setup is left within this task, and cancel() leaves it too.
            if (self->reporter_.state() != State::setup) return;
            self->reporter_.report(State::setup, std::nullopt);
            self->reporter_.report(State::ready, std::nullopt);
            self->acceptNext();
        });
    }

    void cancel() override {
        auto self = shared_from_this();
        runOnNetworkThread([self] {
            if (self->reporter_.ended()) return;
            std::error_code ignored;
            self->acceptor_.close(ignored);
            self->retry_.cancel();
            self->reporter_.report(State::cancelled, std::nullopt);
        });
    }

  private:
    void acceptNext() {
        acceptor_.async_accept([self = shared_from_this()](const std::error_code& error,
                                                           asio::ip::tcp::socket socket) {
            if (self->reporter_.ended()) return;
            if (error) {
                if (error == asio::error::operation_aborted ||
                    error == asio::error::bad_descriptor) {
                    self->reporter_.report(State::failed, detail::errorText(error));
                    return;
                }
                // Too many open files, or no memory for the socket: the connection stays queued
                // and the next accept would fail at once again. Waiting a moment keeps the thread
                // from spinning until descriptors are free.
                self->retryLater(error);
                return;
            }
            if (self->reporter_.state() == State::waiting)
                self->reporter_.report(State::ready, std::nullopt);
            ConnectionHandler handler;
            {
                std::lock_guard lock(self->mutex_);
                handler = self->connectionHandler_;
            }
            auto connection = std::make_shared<AsioTcpConnection>(std::move(socket));
            if (handler) handler(connection);
            self->acceptNext();
        });
    }

    void retryLater(const std::error_code& error) {
        // One report per spell of failures, not one per attempt.
        if (reporter_.state() != State::waiting)
            reporter_.report(State::waiting, detail::errorText(error));
        retry_.expires_after(acceptRetryDelay);
        retry_.async_wait([self = shared_from_this()](const std::error_code& waited) {
            if (waited || self->reporter_.ended()) return;
            self->acceptNext();
        });
    }

    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer retry_{detail::ioContext()};
    uint16_t port_ = 0;
    std::mutex mutex_;
    ConnectionHandler connectionHandler_;
    Reporter<State, StateHandler> reporter_;
};

}  // namespace

std::shared_ptr<TcpListener> TcpListener::make(IpAddress address, uint16_t port) {
    return std::make_shared<AsioTcpListener>(address, port);
}

}  // namespace net
