#include "app/tcp_upload_server.hpp"

#include <algorithm>
#include <utility>

namespace companion {

using net::TcpConnection;
using ConnectionRef = std::shared_ptr<TcpConnection>;

namespace {
std::string seconds(std::chrono::milliseconds d) {
    const auto whole = d.count() / 1000;
    const auto tenths = (d.count() % 1000) / 100;
    return std::to_string(whole) + (tenths ? "." + std::to_string(tenths) : "") + " s";
}
}  // namespace

std::shared_ptr<TcpUploadServer> TcpUploadServer::make(Options options) {
    return std::shared_ptr<TcpUploadServer>(new TcpUploadServer(std::move(options)));
}

TcpUploadServer::TcpUploadServer(Options options) : options_(std::move(options)) {}

TcpUploadServer::~TcpUploadServer() {
    // The handlers hold this server weakly and stay silent from here on; what is still open is
    // closed without a word.
    if (deadline_) deadline_->cancel();
    if (closeDeadline_) closeDeadline_->cancel();
    for (const auto& connection : connections_)
        connection->cancel();
    if (listener_) listener_->cancel();
}

void TcpUploadServer::print(const std::string& line) const {
    if (options_.diagnostics) options_.diagnostics(line);
}

void TcpUploadServer::startServer(std::string payload) {
    payload_ = std::move(payload);
    listener_ = net::TcpListener::make(options_.listenAddress, options_.port);
    boundPort_ = listener_->port();
    const std::weak_ptr<TcpUploadServer> weak = weak_from_this();
    listener_->setStateHandler([weak](net::TcpListener::State state, const net::ErrorText&) {
        if (auto self = weak.lock()) self->listenerState(state);
    });
    listener_->setNewConnectionHandler([weak](const ConnectionRef& connection) {
        auto self = weak.lock();
        if (!self) {
            connection->cancel();
            return;
        }
        self->print("Listener receiving new message");
        self->handleConnection(connection);
    });
    listener_->start();
    deadline_ = net::after(options_.timeout, [weak] {
        if (auto self = weak.lock()) self->timedOut();
    });
    if (onServerStarted) onServerStarted();
}

void TcpUploadServer::stop() {
    listening_ = false;
    auto self = shared_from_this();
    net::runOnNetworkThread([self] {
        self->finished_ = true;
        self->closeAll();
    });
}

void TcpUploadServer::listenerState(net::TcpListener::State state) {
    const std::string port = std::to_string(boundPort_.load());
    switch (state) {
        case net::TcpListener::State::ready:
            isReady_ = true;
            print("Listener connected to port " + port);
            break;
        case net::TcpListener::State::failed:
        case net::TcpListener::State::cancelled:
            listening_ = false;
            isReady_ = false;
            print("Listener disconnected from port " + port);
            break;
        default:
            print("Listener connecting to port " + port + "...");
            break;
    }
}

void TcpUploadServer::handleConnection(const ConnectionRef& connection) {
    if (finished_ || sending_) {
        connection->cancel();
        return;
    }
    if (options_.allowedPeer && connection->remoteAddress() != *options_.allowedPeer) {
        print("Listener refused a connection from " + connection->description());
        connection->cancel();
        return;
    }
    everConnected_ = true;
    // A peer at the headset's address that opens connections and stays silent must not use up
    // the process's descriptors: the one idle longest makes room.
    while (!connections_.empty() && connections_.size() >= options_.maximumConnections) {
        print("Listener closed an idle connection - " + connections_.front()->description());
        drop(connections_.front());
    }
    connections_.push_back(connection);
    const std::weak_ptr<TcpUploadServer> weak = weak_from_this();
    connection->setStateHandler([weak, text = connection->description()](TcpConnection::State state,
                                                                         const net::ErrorText&) {
        auto self = weak.lock();
        if (!self) return;
        switch (state) {
            case TcpConnection::State::ready:
                self->print("Listener ready to receive message - " + text);
                break;
            case TcpConnection::State::failed:
            case TcpConnection::State::cancelled:
                self->print("Listener failed to receive message - " + text);
                break;
            default:
                self->print(net::toString(state));
                self->print("Listener waiting to receive message - " + text);
                break;
        }
    });
    receive(connection);
    connection->start();
}

void TcpUploadServer::receive(const ConnectionRef& connection) {
    const std::weak_ptr<TcpUploadServer> weak = weak_from_this();
    connection->receive(2, [weak, connection](const net::Bytes& content, bool isComplete,
                                              const net::ErrorText& error) {
        auto self = weak.lock();
        if (!self || self->finished_) return;
        const auto& open = self->connections_;
        if (std::find(open.begin(), open.end(), connection) == open.end()) return;
        if (error) {
            self->print("Recieve error: " + *error);
            self->drop(connection);
            return;
        }
        if (!content.empty()) {
            self->touch(connection);
            self->handleHandshake(connection, content);
        }
        if (self->finished_ || self->sending_ == connection) return;
        // The end of the stream, before a handshake: nothing more can come on this connection.
        if (isComplete) {
            self->drop(connection);
            return;
        }
        if (self->listening_) self->receive(connection);
    });
}

void TcpUploadServer::handleHandshake(const ConnectionRef& connection, const net::Bytes& content) {
    const uint8_t first = content.front();
    print("received handshake data: " + std::to_string(first));
    if (first != handshakeByte || sending_) return;
    sending_ = connection;
    for (const auto& other : std::vector<ConnectionRef>(connections_))
        if (other != connection) drop(other);
    sendPayload(connection);
}

void TcpUploadServer::sendPayload(const ConnectionRef& connection) {
    print("sending message");
    const std::weak_ptr<TcpUploadServer> weak = weak_from_this();
    connection->send(
        net::Bytes(payload_.begin(), payload_.end()), true,
        [weak, connection](const net::ErrorText& error) {
            auto self = weak.lock();
            if (!self || self->finished_) return;
            if (error) {
                self->print("Unable to process and send the data: " + *error);
                self->finish("Upload failed: the piece could not be sent (" + *error + ")");
                return;
            }
            self->print("Sending complete");
            self->closeDeadline_ = net::after(self->options_.closeTimeout, [weak] {
                auto server = weak.lock();
                if (server) server->finish(std::nullopt);
            });
            self->awaitPeerClose(connection);
        });
}

// The piece has been handed over and this side of the stream ended; the headset reads to the end
// and closes. Closing before that, with bytes of the headset still unread, would reset the
// connection and could cut its copy short, so anything it sends is read and dropped until then.
void TcpUploadServer::awaitPeerClose(const ConnectionRef& connection) {
    const std::weak_ptr<TcpUploadServer> weak = weak_from_this();
    connection->receive(
        64, [weak, connection](const net::Bytes&, bool isComplete, const net::ErrorText& error) {
            auto self = weak.lock();
            if (!self || self->finished_) return;
            if (error)
                self->finish(
                    "Upload failed: the connection was reset before the headset had the "
                    "whole piece (" +
                    *error + ")");
            else if (isComplete)
                self->finish(std::nullopt);
            else
                self->awaitPeerClose(connection);
        });
}

void TcpUploadServer::drop(const ConnectionRef& connection) {
    // A copy: `connection` may be an element of the list that erasing shifts.
    const ConnectionRef dropped = connection;
    connections_.erase(std::remove(connections_.begin(), connections_.end(), dropped),
                       connections_.end());
    dropped->cancel();
}

void TcpUploadServer::touch(const ConnectionRef& connection) {
    const auto at = std::find(connections_.begin(), connections_.end(), connection);
    if (at != connections_.end()) std::rotate(at, at + 1, connections_.end());
}

void TcpUploadServer::timedOut() {
    if (finished_) return;
    const std::string limit = seconds(options_.timeout);
    if (!everConnected_)
        finish("Upload failed: the headset did not connect within " + limit);
    else if (!sending_)
        finish("Upload failed: the headset sent no handshake within " + limit);
    else
        finish("Upload failed: the piece could not be delivered within " + limit);
}

void TcpUploadServer::finish(std::optional<std::string> failure) {
    if (finished_) return;
    finished_ = true;
    if (deadline_) deadline_->cancel();
    if (closeDeadline_) closeDeadline_->cancel();
    if (failure) {
        closeAll();
        if (onFailed) onFailed(*failure);
    } else if (onMessageSent) {
        onMessageSent();
    }
}

void TcpUploadServer::closeAll() {
    listening_ = false;
    if (deadline_) deadline_->cancel();
    if (closeDeadline_) closeDeadline_->cancel();
    const auto open = std::exchange(connections_, {});
    for (const auto& connection : open)
        connection->cancel();
    if (sending_) sending_->cancel();
    if (listener_) listener_->cancel();
}

}  // namespace companion
