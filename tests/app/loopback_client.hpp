// Plain client sockets on the loopback interface, for tests of the upload server. Nothing here
// opens a descriptor of its own, so a process short of them can use it too.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace companion::testing {

// The IPv4 loopback address with `port`.
inline sockaddr_in loopbackEndpoint(uint16_t port) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return at;
}

// What arrives on the stream socket `fd` until its end, an error, or `quiet` without a byte.
inline std::string receiveToEnd(int fd, std::chrono::milliseconds quiet) {
    std::string received;
    char buffer[4096];
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, static_cast<int>(quiet.count())) > 0) {
        const auto n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        received.append(buffer, static_cast<size_t>(n));
    }
    return received;
}

}  // namespace companion::testing
