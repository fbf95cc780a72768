#include <deque>
#include <mutex>

#include "detail.hpp"
#include "net/udp.hpp"

namespace net {

const char* toString(UdpConnection::State state) {
    switch (state) {
        case UdpConnection::State::setup:
            return "setup";
        case UdpConnection::State::waiting:
            return "waiting";
        case UdpConnection::State::preparing:
            return "preparing";
        case UdpConnection::State::ready:
            return "ready";
        case UdpConnection::State::failed:
            return "failed";
        case UdpConnection::State::cancelled:
            return "cancelled";
    }
    return "unknown";
}

namespace {

// Everything but the handler setters and state() runs on the network thread.
class AsioUdpConnection final : public UdpConnection,
                                public std::enable_shared_from_this<AsioUdpConnection> {
  public:
    AsioUdpConnection(IpAddress host, uint16_t port)
        : remote_(detail::toAsio(host), port), socket_(detail::ioContext()) {}

    void setStateHandler(StateHandler handler) override {
        std::lock_guard lock(mutex_);
        stateHandler_ = std::move(handler);
    }
    void setViabilityHandler(std::function<void(bool)> handler) override {
        std::lock_guard lock(mutex_);
        viabilityHandler_ = std::move(handler);
    }
    void setBetterPathHandler(std::function<void(bool)> handler) override {
        std::lock_guard lock(mutex_);
        betterPathHandler_ = std::move(handler);
    }

    State state() const override {
        std::lock_guard lock(mutex_);
        return state_;
    }

    void start() override {
        post([self = shared_from_this()] { self->open(); });
    }

    void send(Bytes datagram, SendCompletion completion) override {
        post([self = shared_from_this(), datagram = std::move(datagram),
              completion = std::move(completion)]() mutable {
            self->sendNow(std::move(datagram), std::move(completion));
        });
    }

    void receiveMessage(ReceiveCompletion completion) override {
        post([self = shared_from_this(), completion = std::move(completion)]() mutable {
            if (self->closed()) {
                completion(std::nullopt, std::nullopt);
                return;
            }
            self->receives_.push_back(std::move(completion));
            self->receiveNext();
        });
    }

    void cancel() override {
        auto self = shared_from_this();
        runOnNetworkThread([self] {
            if (self->closed()) return;
            std::error_code ignored;
            self->socket_.close(ignored);
            self->report(State::cancelled, std::nullopt);
            // Requests not yet served end without content; the one outstanding ends through
            // its own completion with operation_aborted.
            auto waiting = std::move(self->receives_);
            self->receives_.clear();
            if (self->receiving_ && !waiting.empty()) {
                self->receives_.push_back(std::move(waiting.front()));
                waiting.pop_front();
            }
            for (auto& completion : waiting)
                completion(std::nullopt, std::nullopt);
        });
    }

  private:
    bool closed() const {
        std::lock_guard lock(mutex_);
        return state_ == State::failed || state_ == State::cancelled;
    }

    void report(State state, const ErrorText& error) {
        StateHandler handler;
        std::function<void(bool)> viability;
        {
            std::lock_guard lock(mutex_);
            state_ = state;
            handler = stateHandler_;
            viability = viabilityHandler_;
        }
        if (handler) handler(state, error);
        if (viability && state == State::ready) viability(true);
        if (viability && state == State::failed) viability(false);
    }

    void open() {
        // Only the first start: setup is left within this task, and cancel() leaves it too.
        if (state() != State::setup) return;
        report(State::setup, std::nullopt);
        report(State::preparing, std::nullopt);
        std::error_code error;
        socket_.open(remote_.protocol(), error);
        if (!error) socket_.connect(remote_, error);
        if (error) {
            socket_.close(error);
            report(State::failed, detail::errorText(error));
            failPending(detail::errorText(error));
            return;
        }
        report(State::ready, std::nullopt);
        auto pending = std::move(pendingSends_);
        pendingSends_.clear();
        for (auto& [datagram, completion] : pending)
            sendNow(std::move(datagram), std::move(completion));
    }

    void failPending(const std::string& error) {
        auto pending = std::move(pendingSends_);
        pendingSends_.clear();
        for (auto& entry : pending)
            if (entry.second) entry.second(error);
    }

    void sendNow(Bytes datagram, SendCompletion completion) {
        const State now = state();
        if (now == State::setup || now == State::preparing) {
            pendingSends_.emplace_back(std::move(datagram), std::move(completion));
            return;
        }
        if (now != State::ready) {
            if (completion) completion(std::string("the connection is not open"));
            return;
        }
        auto buffer = std::make_shared<Bytes>(std::move(datagram));
        socket_.async_send(asio::buffer(*buffer),
                           [self = shared_from_this(), buffer, completion = std::move(completion)](
                               const std::error_code& error, size_t) {
                               if (!completion) return;
                               if (error)
                                   completion(detail::errorText(error));
                               else
                                   completion(std::nullopt);
                           });
    }

    void receiveNext() {
        if (receiving_ || receives_.empty() || state() != State::ready) return;
        receiving_ = true;
        socket_.async_receive(asio::buffer(buffer_), [self = shared_from_this()](
                                                         const std::error_code& error, size_t n) {
            self->receiving_ = false;
            if (self->receives_.empty()) return;
            auto completion = std::move(self->receives_.front());
            self->receives_.pop_front();
            if (error == asio::error::operation_aborted)
                completion(std::nullopt, std::nullopt);
            else if (error)
                completion(std::nullopt, detail::errorText(error));
            else
                completion(Bytes(self->buffer_.begin(), self->buffer_.begin() + n), std::nullopt);
            self->receiveNext();
        });
    }

    asio::ip::udp::endpoint remote_;
    asio::ip::udp::socket socket_;
    std::array<uint8_t, 65536> buffer_{};
    std::deque<ReceiveCompletion> receives_;
    bool receiving_ = false;
    std::vector<std::pair<Bytes, SendCompletion>> pendingSends_;

    mutable std::mutex mutex_;
    State state_ = State::setup;
    StateHandler stateHandler_;
    std::function<void(bool)> viabilityHandler_;
    std::function<void(bool)> betterPathHandler_;
};

}  // namespace

std::shared_ptr<UdpConnection> UdpConnection::make(IpAddress host, uint16_t port) {
    return std::make_shared<AsioUdpConnection>(host, port);
}

}  // namespace net
