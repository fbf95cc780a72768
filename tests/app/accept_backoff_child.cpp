// A process with few file descriptors that serves one upload while a peer at the headset's address
// floods the upload port. It first uses up every descriptor, so that accepting fails, and then
// frees them, so that the flood is accepted and the headset after it. It talks with the test that
// starts it over its standard input and output, one line each:
//   out "port N"        the upload server listens on loopback port N, no descriptor is free
//   in  "flooded"       the peer's connections are queued on the port
//   out "cpu S"         CPU seconds the whole process used over two seconds of failing accepts
//   out "open N"        descriptors open, beyond those before the flood, once all of it was taken
//   out "payload TEXT"  what the headset read after its handshake, up to the end of the stream
// Failures are told on standard error with a non-zero exit status.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "app/tcp_upload_server.hpp"
#include "loopback_client.hpp"

namespace {

using namespace std::chrono_literals;

// Plain writes: nothing here may need a descriptor of its own.
void write(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const auto n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

int fail(const std::string& why) {
    write(2, "accept_backoff_child: " + why + "\n");
    return 1;
}

int openDescriptors() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.') ++count;
    ::closedir(dir);
    return count - 1;  // the directory's own descriptor
}

double cpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void say(const std::string& line) {
    write(1, line + "\n");
}

std::string readLine() {
    std::string line;
    char c;
    while (::read(0, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

// Connects to the upload port, sends the handshake and reads to the end of the stream.
std::string fetch(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return "(no socket)";
    const sockaddr_in to = companion::testing::loopbackEndpoint(port);
    std::string received;
    const uint8_t handshake = 0xF8;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
        ::send(fd, &handshake, 1, MSG_NOSIGNAL) == 1)
        received = companion::testing::receiveToEnd(fd, 20s);
    ::close(fd);
    return received;
}

}  // namespace

int main() {
    const rlimit few{96, 96};
    if (::setrlimit(RLIMIT_NOFILE, &few) != 0) return fail("setrlimit");

    std::atomic<int> accepted{0};
    companion::TcpUploadServer::Options options;
    options.listenAddress = net::IpAddress::loopbackV4();
    options.port = 0;
    options.allowedPeer = net::IpAddress::loopbackV4();
    options.timeout = 60s;
    options.diagnostics = [&accepted](const std::string& line) {
        if (line == "Listener receiving new message") ++accepted;
    };
    auto server = companion::TcpUploadServer::make(options);
    server->startServer("a piece");
    const int before = openDescriptors();

    std::vector<int> hoard;
    for (;;) {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0) break;
        hoard.push_back(fd);
    }
    say("port " + std::to_string(server->port()));

    if (readLine() != "flooded") return fail("no flood");
    const double cpuBefore = cpuSeconds();
    std::this_thread::sleep_for(2s);
    say("cpu " + std::to_string(cpuSeconds() - cpuBefore));

    for (const int fd : hoard)
        ::close(fd);
    // The flood is taken now, and every connection of it but the last few closed again.
    const int flood = 300;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (accepted.load() < flood && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    if (accepted.load() < flood) return fail("took " + std::to_string(accepted.load()));
    // The connection counted last is handled in the same task of the network thread.
    net::runOnNetworkThread([] {});
    say("open " + std::to_string(openDescriptors() - before));

    say("payload " + fetch(server->port()));
    server->stop();
    return 0;
}
