// The network layer against plain POSIX sockets on the loopback interface.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>

#include <gtest/gtest.h>

#include "net/net.hpp"
#include "net/tcp.hpp"
#include "net/udp.hpp"

namespace {

using namespace std::chrono_literals;
using net::Bytes;

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

sockaddr_in loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

uint16_t localPort(int fd) {
    sockaddr_in a{};
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    return ntohs(a.sin_port);
}

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 2000) > 0;
}

int connectTo(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const auto to = loopback(port);
    EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
    return fd;
}

TEST(Address, LiteralsAndHostNamesAreResolvedAndAnythingElseRefusedWithoutALookup) {
    struct Case {
        const char* text;
        const char* resolved;  // null: refused
    } cases[] = {
        {"127.0.0.1", "127.0.0.1"},
        {"::1", "::1"},
        {"::ffff:127.0.0.1", "127.0.0.1"},
        {"localhost", nullptr},  // resolved below, to either loopback
        {"", nullptr},
        {" 127.0.0.1", nullptr},
        {"1.2.3.4.5", nullptr},
        {"256.1.1.1", nullptr},
        {"a..b", nullptr},
        {"-a.example", nullptr},
        {"head set", nullptr},
        {"headset\n", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        if (std::string(c.text) == "localhost") {
            const auto address = net::resolveHost(c.text).toString();
            EXPECT_TRUE(address == "127.0.0.1" || address == "::1") << address;
        } else if (c.resolved) {
            EXPECT_EQ(net::resolveHost(c.text).toString(), c.resolved);
        } else {
            try {
                net::resolveHost(c.text);
                ADD_FAILURE() << "accepted";
            } catch (const net::NetError& error) {
                EXPECT_EQ(error.errorCase(), net::NetError::Case::invalidAddress);
            }
        }
    }
}

TEST(Udp, DatagramsGoOutWholeInOrderAndEachReceiveTakesOneReply) {
    Fd peer{::socket(AF_INET, SOCK_DGRAM, 0)};
    const auto bound = loopback(0);
    ASSERT_EQ(::bind(peer.fd, reinterpret_cast<const sockaddr*>(&bound), sizeof bound), 0);

    std::mutex mutex;
    std::vector<net::UdpConnection::State> states;
    auto connection = net::UdpConnection::make(net::IpAddress::loopbackV4(), localPort(peer.fd));
    connection->setStateHandler([&](net::UdpConnection::State s, const net::ErrorText&) {
        std::lock_guard lock(mutex);
        states.push_back(s);
    });
    connection->start();
    const std::vector<Bytes> sent = {{0x90, 0x3C, 0x64}, {0xFE, 0x00}, {0x80, 0x3C, 0x00}};
    for (const auto& datagram : sent)
        connection->send(datagram, nullptr);

    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    for (const auto& expected : sent) {
        ASSERT_TRUE(readable(peer.fd));
        uint8_t buffer[16];
        const auto n = ::recvfrom(peer.fd, buffer, sizeof buffer, 0,
                                  reinterpret_cast<sockaddr*>(&from), &fromLength);
        EXPECT_EQ(Bytes(buffer, buffer + n), expected);
    }

    std::promise<std::optional<Bytes>> first, second;
    connection->receiveMessage(
        [&](std::optional<Bytes> b, const net::ErrorText&) { first.set_value(b); });
    connection->receiveMessage(
        [&](std::optional<Bytes> b, const net::ErrorText&) { second.set_value(b); });
    const uint8_t reply[] = {'o', 'k'};
    ::sendto(peer.fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), fromLength);
    EXPECT_EQ(first.get_future().get(), (Bytes{'o', 'k'}));
    // The second request has no datagram: cancelling ends it without content.
    connection->cancel();
    EXPECT_EQ(second.get_future().get(), std::nullopt);
    std::lock_guard lock(mutex);
    EXPECT_EQ(states,
              (std::vector{net::UdpConnection::State::preparing, net::UdpConnection::State::ready,
                           net::UdpConnection::State::cancelled}));
}

TEST(Tcp, APortInUseIsRefusedAndACancelledListenerFreesItsPortAtOnce) {
    auto listener = net::TcpListener::make(net::IpAddress::loopbackV4(), 0);
    const uint16_t port = listener->port();
    ASSERT_NE(port, 0);
    try {
        net::TcpListener::make(net::IpAddress::loopbackV4(), port);
        ADD_FAILURE() << "two listeners on one port";
    } catch (const net::NetError& error) {
        EXPECT_EQ(error.errorCase(), net::NetError::Case::cannotListen);
    }
    listener->start();
    listener->cancel();
    EXPECT_NO_THROW(net::TcpListener::make(net::IpAddress::loopbackV4(), port));
}

// Accepts one connection from a POSIX client and hands it over started.
std::shared_ptr<net::TcpConnection> acceptOne(net::TcpListener& listener, Fd& client) {
    std::promise<std::shared_ptr<net::TcpConnection>> accepted;
    listener.setNewConnectionHandler(
        [&](std::shared_ptr<net::TcpConnection> c) { accepted.set_value(c); });
    listener.start();
    client.fd = connectTo(listener.port());
    auto connection = accepted.get_future().get();
    connection->start();
    return connection;
}

TEST(Tcp, AFinalSendReachesThePeerWholeFollowedByTheEndOfTheStream) {
    auto listener = net::TcpListener::make(net::IpAddress::loopbackV4(), 0);
    Fd client;
    auto connection = acceptOne(*listener, client);
    EXPECT_EQ(connection->remoteAddress(), net::IpAddress::loopbackV4());

    // Bounded reads: three bytes sent at once arrive as at most two, then one.
    const uint8_t hello[] = {0xF8, 0x00, 0x01};
    ASSERT_EQ(::send(client.fd, hello, sizeof hello, 0), 3);
    std::promise<Bytes> firstRead;
    connection->receive(
        2, [&](const Bytes& b, bool, const net::ErrorText&) { firstRead.set_value(b); });
    const Bytes got = firstRead.get_future().get();
    EXPECT_TRUE(got == (Bytes{0xF8, 0x00}) || got == (Bytes{0xF8})) << got.size();

    Bytes payload(300000);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(i * 7);
    std::promise<net::ErrorText> sent;
    connection->send(payload, true, [&](const net::ErrorText& e) { sent.set_value(e); });
    Bytes received;
    for (;;) {
        ASSERT_TRUE(readable(client.fd));
        uint8_t buffer[65536];
        const auto n = ::recv(client.fd, buffer, sizeof buffer, 0);
        ASSERT_GE(n, 0);
        if (n == 0) break;
        received.insert(received.end(), buffer, buffer + n);
    }
    EXPECT_EQ(sent.get_future().get(), std::nullopt);
    EXPECT_EQ(received, payload);

    // The peer's end of the stream is reported as complete, without content or error.
    ::shutdown(client.fd, SHUT_WR);
    std::promise<std::pair<bool, net::ErrorText>> end;
    std::function<void()> drain = [&] {
        connection->receive(2, [&](const Bytes& b, bool complete, const net::ErrorText& e) {
            if (!b.empty() && !complete && !e) return drain();
            end.set_value({complete, e});
        });
    };
    drain();
    EXPECT_EQ(end.get_future().get(), std::make_pair(true, net::ErrorText{}));
    connection->cancel();
}

TEST(Tcp, SendingToAPeerThatResetTheConnectionFailsWithoutSigpipe) {
    auto listener = net::TcpListener::make(net::IpAddress::loopbackV4(), 0);
    Fd client;
    auto connection = acceptOne(*listener, client);
    const linger reset{1, 0};
    ::setsockopt(client.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(std::exchange(client.fd, -1));

    // The first write may still be taken by the system; later ones see the reset.
    net::ErrorText error;
    for (int i = 0; i < 20 && !error; ++i) {
        std::promise<net::ErrorText> sent;
        connection->send(Bytes(65536, 1), false,
                         [&](const net::ErrorText& e) { sent.set_value(e); });
        error = sent.get_future().get();
    }
    EXPECT_TRUE(error.has_value());
    connection->cancel();
}

}  // namespace
