// The network layer against plain POSIX sockets on the loopback interface.
#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
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

TEST(Address, TypedTextIsSplitIntoLiteralsNamesToLookUpAndRefusalsAsTheBlockingResolverSplitsIt) {
    struct Case {
        const char* text;
        const char* literal;  // the address of a literal; null for a name or a refusal
        bool refused;
    } cases[] = {
        {"10.1.2.3", "10.1.2.3", false},   {"::1", "::1", false},
        {"headset.local", nullptr, false}, {"localhost.", nullptr, false},
        {"x-1", nullptr, false},           {"1.2.3", nullptr, true},
        {"a_b", nullptr, true},            {"", nullptr, true},
        {"127.0.0.1 ", nullptr, true},     {"b\xC3\xA4r", nullptr, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::optional<net::IpAddress> parsed;
        std::string refusal;
        try {
            parsed = net::parseHostText(c.text);
        } catch (const net::NetError& error) {
            EXPECT_EQ(error.errorCase(), net::NetError::Case::invalidAddress);
            refusal = error.what();
        }
        EXPECT_EQ(!refusal.empty(), c.refused);
        EXPECT_EQ(parsed.has_value(), c.literal != nullptr);
        if (parsed && c.literal) {
            EXPECT_EQ(parsed->toString(), c.literal);
        }
        EXPECT_EQ(net::isHostNameSyntax(c.text), !c.refused && !c.literal);
        if (c.refused) {
            // The same refusal, in the same words, as the blocking resolver's.
            try {
                net::resolveHost(c.text);
                ADD_FAILURE() << "resolved";
            } catch (const net::NetError& error) {
                EXPECT_EQ(error.what(), refusal);
            }
        }
    }
}

// The outcome of net::lookUpHost, and whether it ran on the network thread.
struct LookupOutcome {
    std::optional<net::IpAddress> address;
    std::string error;
    bool onNetworkThread = false;
};

std::future<LookupOutcome> lookUp(const std::string& name, net::Duration timeout) {
    auto promise = std::make_shared<std::promise<LookupOutcome>>();
    auto outcome = promise->get_future();
    net::lookUpHost(name, timeout,
                    [promise](std::optional<net::IpAddress> address, const std::string& error) {
                        promise->set_value({address, error, net::isNetworkThread()});
                    });
    return outcome;
}

TEST(Lookup, AnswersOnTheNetworkThreadWithTheAddressOrWhyThereIsNone) {
    const auto local = lookUp("localhost", 10s).get();
    ASSERT_TRUE(local.address) << local.error;
    EXPECT_TRUE(*local.address == net::IpAddress::loopbackV4() ||
                local.address->toString() == "::1");
    EXPECT_TRUE(local.onNetworkThread);
    const auto refused = lookUp("a..b", 10s).get();
    EXPECT_FALSE(refused.address);
    EXPECT_EQ(refused.error, "\"a..b\" is not a host name");
    EXPECT_TRUE(refused.onNetworkThread);
}

// Set in the copy of this test that runs in namespaces of its own.
constexpr const char* inPrivateNamespace = "NET_TEST_IN_PRIVATE_NAMESPACE";

// Runs a program and waits for it; its exit status, or -1 when it could not run or was killed.
int run(std::vector<std::string> arguments, bool quiet, const char* setVariable = nullptr) {
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char*> env(environ, environ + [] {
        size_t n = 0;
        while (environ[n]) ++n;
        return n;
    }());
    std::string variable = setVariable ? std::string(setVariable) + "=1" : "";
    if (setVariable) env.push_back(variable.data());
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Gives the process a name server on 127.0.0.1 that takes queries and never answers: the system
// resolver then waits for as long as its configuration below lets it.
struct SilentNameServer {
    Fd udp{::socket(AF_INET, SOCK_DGRAM, 0)};
    Fd tcp{::socket(AF_INET, SOCK_STREAM, 0)};
    std::string folder;

    SilentNameServer() {
        // The loopback interface of a new network namespace starts down.
        ifreq request{};
        std::strcpy(request.ifr_name, "lo");
        EXPECT_EQ(::ioctl(udp.fd, SIOCGIFFLAGS, &request), 0);
        request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
        EXPECT_EQ(::ioctl(udp.fd, SIOCSIFFLAGS, &request), 0);
        const auto at = loopback(53);
        EXPECT_EQ(::bind(udp.fd, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
        EXPECT_EQ(::bind(tcp.fd, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
        EXPECT_EQ(::listen(tcp.fd, 4), 0);
        // The resolver's files, seen by this process only (its mount namespace is its own).
        char pattern[] = "/tmp/net_test_dns_XXXXXX";
        folder = ::mkdtemp(pattern);
        replace("/etc/resolv.conf", "nameserver 127.0.0.1\noptions timeout:5 attempts:2\n");
        replace("/etc/nsswitch.conf", "hosts: files dns\n");
        // A name the resolver answers from the hosts file, without asking the name server.
        replace("/etc/hosts", "127.0.0.1 localhost\n127.0.0.5 ready.example\n");
    }
    ~SilentNameServer() { std::filesystem::remove_all(folder); }

    void replace(const char* file, const std::string& content) const {
        const std::string copy = folder + "/" + std::filesystem::path(file).filename().string();
        std::ofstream(copy) << content;
        EXPECT_EQ(::mount(copy.c_str(), file, nullptr, MS_BIND, nullptr), 0) << file;
    }
};

TEST(Lookup, ANameServerThatNeverAnswersIsWaitedForOnlyUntilTheTimeoutAndHoldsNoThreadOfOurs) {
    if (std::getenv(inPrivateNamespace) == nullptr) {
        // This very test again, in a network namespace of its own where only the loopback
        // interface exists (no query can leave the machine) and a mount namespace of its own.
        if (run({"unshare", "--net", "--mount", "true"}, true) != 0)
            GTEST_SKIP() << "no private namespaces here (needs unshare and the right to use it)";
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        EXPECT_EQ(run({"unshare", "--net", "--mount", "--propagation", "private",
                       std::filesystem::read_symlink("/proc/self/exe").string(),
                       std::string("--gtest_filter=") + test->test_suite_name() + "." +
                           test->name()},
                      false, inPrivateNamespace),
                  0);
        return;
    }
    SilentNameServer server;
    const auto started = std::chrono::steady_clock::now();
    auto outcome = lookUp("headset.example", 500ms);
    // While the resolver waits, the network thread runs other work promptly.
    while (outcome.wait_for(20ms) != std::future_status::ready &&
           std::chrono::steady_clock::now() - started < 30s) {
        const auto posted = std::chrono::steady_clock::now();
        std::promise<std::chrono::steady_clock::time_point> ran;
        net::post([&ran] { ran.set_value(std::chrono::steady_clock::now()); });
        EXPECT_LT(ran.get_future().get() - posted, 250ms);
    }
    ASSERT_EQ(outcome.wait_for(0s), std::future_status::ready);
    const auto result = outcome.get();
    EXPECT_FALSE(result.address);
    EXPECT_EQ(result.error,
              "the host name \"headset.example\" cannot be resolved: no answer within 0.5 s");
    EXPECT_TRUE(result.onNetworkThread);
    // The abandoned resolver is still waiting for the name server, on a thread of its own.
    EXPECT_EQ(net::resolutionsInFlight(), 1u);
    // It holds up no other lookup: a name from the hosts file is answered at once.
    const auto asked = std::chrono::steady_clock::now();
    auto ready = lookUp("ready.example", 5s);
    ASSERT_EQ(ready.wait_for(10s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 100ms);
    const auto answer = ready.get();
    EXPECT_EQ(answer.address, net::IpAddress::v4({127, 0, 0, 5})) << answer.error;
    EXPECT_TRUE(answer.onNetworkThread);
    // Nor does it hold a thread of this layer: a connection made now works at once.
    auto udp = net::UdpConnection::make(net::IpAddress::loopbackV4(), 9);
    std::promise<net::ErrorText> sent;
    udp->start();
    udp->send({1}, [&sent](const net::ErrorText& error) { sent.set_value(error); });
    EXPECT_EQ(sent.get_future().wait_for(1s), std::future_status::ready);
    udp->cancel();
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
              (std::vector{net::UdpConnection::State::setup, net::UdpConnection::State::preparing,
                           net::UdpConnection::State::ready,
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
