#include "app/fake_headset.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace companion {

namespace {

struct Endpoint {
    sockaddr_storage storage{};
    socklen_t length = 0;
};

Endpoint endpointOf(const std::string& address, uint16_t port) {
    Endpoint e;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&e.storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&e.storage);
    if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        e.length = sizeof(sockaddr_in);
    } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        e.length = sizeof(sockaddr_in6);
    } else {
        throw std::runtime_error("fake headset: not an IP address: " + address);
    }
    return e;
}

std::string lastError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Waits until `fd` is readable; false on timeout.
bool readable(int fd, std::chrono::milliseconds timeout) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(timeout.count())) > 0;
}

void sendAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const auto n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) throw std::runtime_error(lastError("send"));
        sent += static_cast<size_t>(n);
    }
}

// Reads until the end of the stream or `limit` bytes; returns whether the stream ended.
bool readUpTo(int fd, std::vector<uint8_t>& out, size_t limit, std::chrono::milliseconds timeout) {
    uint8_t buffer[4096];
    while (out.size() < limit) {
        if (!readable(fd, timeout)) throw std::runtime_error("timed out reading the upload");
        const auto n = ::recv(fd, buffer, std::min(sizeof buffer, limit - out.size()), 0);
        if (n < 0) throw std::runtime_error(lastError("recv"));
        if (n == 0) return true;
        out.insert(out.end(), buffer, buffer + n);
    }
    return false;
}

struct Socket {
    int fd = -1;
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::optional<FakeHeadset::Script> FakeHeadset::scriptNamed(const std::string& name) {
    static const std::pair<const char*, Script> names[] = {
        {"ok", Script::ok},
        {"silent", Script::silent},
        {"wrong-byte-first", Script::wrongByteFirst},
        {"handshake-with-extra-byte", Script::handshakeWithExtraByte},
        {"abort", Script::abortAfterBytes},
        {"connect-twice", Script::connectTwice},
        {"end-without-handshake", Script::endWithoutHandshake},
    };
    for (const auto& [text, script] : names)
        if (name == text) return script;
    return std::nullopt;
}

FakeHeadset::FakeHeadset(Options options) : options_(std::move(options)) {
    const Endpoint local = endpointOf(options_.udpAddress, options_.udpPort);
    udp_ = ::socket(local.storage.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (udp_ < 0) throw std::runtime_error(lastError("fake headset: socket"));
    if (::bind(udp_, reinterpret_cast<const sockaddr*>(&local.storage), local.length) != 0) {
        const auto message = lastError("fake headset: bind");
        ::close(udp_);
        throw std::runtime_error(message);
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(udp_, reinterpret_cast<sockaddr*>(&bound), &length);
    udpPort_ =
        ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in*>(&bound)->sin_port
                                         : reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
    thread_ = std::thread([this] { run(); });
}

FakeHeadset::~FakeHeadset() {
    stopping_ = true;
    thread_.join();
    ::close(udp_);
}

std::vector<FakeHeadset::Datagram> FakeHeadset::datagrams() const {
    std::lock_guard lock(mutex_);
    return datagrams_;
}

std::vector<FakeHeadset::Upload> FakeHeadset::uploads() const {
    std::lock_guard lock(mutex_);
    return uploads_;
}

bool FakeHeadset::waitForDatagrams(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return datagrams_.size() >= count; });
}

bool FakeHeadset::waitForUploads(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return uploads_.size() >= count; });
}

void FakeHeadset::setDatagramObserver(std::function<void(const Datagram&)> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

bool FakeHeadset::reply(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> to;
    {
        std::lock_guard lock(mutex_);
        to = lastSender_;
    }
    if (to.empty()) return false;
    return ::sendto(udp_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(to.data()),
                    static_cast<socklen_t>(to.size())) == static_cast<ssize_t>(bytes.size());
}

void FakeHeadset::run() {
    uint8_t buffer[65536];
    while (!stopping_) {
        if (!readable(udp_, std::chrono::milliseconds(10))) continue;
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        const auto n = ::recvfrom(udp_, buffer, sizeof buffer, 0,
                                  reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) continue;
        Datagram datagram{{buffer, buffer + n}, std::chrono::steady_clock::now()};
        std::function<void(const Datagram&)> observer;
        {
            std::lock_guard lock(mutex_);
            datagrams_.push_back(datagram);
            observer = observer_;
            const auto* sender = reinterpret_cast<const uint8_t*>(&from);
            lastSender_.assign(sender, sender + fromLength);
        }
        changed_.notify_all();
        if (observer) observer(datagram);
        if (datagram.bytes == std::vector<uint8_t>{0xFE, 0x00}) {
            Upload upload;
            try {
                upload = runScript(from, fromLength);
            } catch (const std::exception& error) {
                upload.error = error.what();
            }
            upload.receivedSize = upload.received.size();
            if (!options_.keepReceived) std::vector<uint8_t>().swap(upload.received);
            {
                std::lock_guard lock(mutex_);
                uploads_.push_back(std::move(upload));
            }
            changed_.notify_all();
        }
    }
}

int FakeHeadset::connectUpload() const {
    const Endpoint remote = endpointOf(options_.computerAddress, options_.uploadPort());
    const int fd = ::socket(remote.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error(lastError("socket"));
    if (options_.sourceAddress) {
        const Endpoint source = endpointOf(*options_.sourceAddress, 0);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&source.storage), source.length) != 0) {
            const auto message = lastError("bind");
            ::close(fd);
            throw std::runtime_error(message);
        }
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&remote.storage), remote.length) != 0) {
        const auto message = lastError("connect");
        ::close(fd);
        throw std::runtime_error(message);
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

FakeHeadset::Upload FakeHeadset::runScript(const sockaddr_storage& caller, unsigned callerLength) {
    Upload upload;
    const auto timeout = options_.ioTimeout;
    const size_t everything = size_t{1} << 30;
    switch (options_.script) {
        case Script::silent:
            return upload;
        case Script::endWithoutHandshake: {
            Socket s{connectUpload()};
            ::shutdown(s.fd, SHUT_WR);
            upload.endOfStream = readUpTo(s.fd, upload.received, everything, timeout);
            return upload;
        }
        case Script::abortAfterBytes: {
            Socket s{connectUpload()};
            sendAll(s.fd, {0xF8});
            readUpTo(s.fd, upload.received, options_.abortAfter, timeout);
            // Closing with a zero linger time resets the connection.
            const linger reset{1, 0};
            ::setsockopt(s.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            return upload;
        }
        case Script::connectTwice: {
            Socket first{connectUpload()};
            Socket second{connectUpload()};
            sendAll(second.fd, {0xF8});
            upload.endOfStream = readUpTo(second.fd, upload.received, everything, timeout);
            std::vector<uint8_t> unused;
            upload.firstConnectionClosed = readUpTo(first.fd, unused, everything, timeout);
            break;
        }
        case Script::ok:
        case Script::wrongByteFirst:
        case Script::handshakeWithExtraByte: {
            Socket s{connectUpload()};
            if (options_.script == Script::wrongByteFirst) {
                sendAll(s.fd, {0x00});
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                sendAll(s.fd, {0xF8});
            } else if (options_.script == Script::handshakeWithExtraByte) {
                sendAll(s.fd, {0xF8, 0x00});
            } else {
                sendAll(s.fd, {0xF8});
            }
            upload.endOfStream = readUpTo(s.fd, upload.received, everything, timeout);
            break;
        }
    }
    if (!options_.reply.empty())
        ::sendto(udp_, options_.reply.data(), options_.reply.size(), 0,
                 reinterpret_cast<const sockaddr*>(&caller), callerLength);
    return upload;
}

}  // namespace companion
