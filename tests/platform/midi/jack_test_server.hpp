// What the tests and measurements against a real JACK server share: a server of their own on the
// dummy driver, a peer program on the graph, and note runs to play and compare.
#pragma once

#include <fcntl.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace jacktest {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

template <class Predicate>
bool waitFor(Predicate predicate, std::chrono::milliseconds timeout = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// A JACK server of the test's own, on the dummy driver. By default it runs synchronously with a
// long client timeout: on a loaded machine (or under a sanitizer) a late client then delays the
// cycle instead of being skipped, which would replay its last buffer. Asynchronous mode, the
// default for users, is there for measurements.
//
// Names come from a small fixed pool. JACK keeps at most 8 server registrations on a machine and
// frees the registration of a server that was killed only when a server of the same name
// registers again: with names of their own, killed test servers would use the registrations up
// one by one. A lock file per name (released with its process, however that ends) keeps test
// processes running at once from taking the same name; a process that finds every name taken
// waits for one.
class JackServer {
  public:
    static constexpr int kPoolSize = 4;

    explicit JackServer(bool synchronous = true) {
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        const auto deadline = std::chrono::steady_clock::now() + 240s;
        while (!ready_ && std::chrono::steady_clock::now() < deadline) {
            for (int n = 0; n < kPoolSize && !ready_; ++n) {
                if (!lock("tessaloom-test-" + std::to_string(n))) continue;
                start(synchronous);
                if (!ready_) {
                    stop();
                    unlock();
                }
            }
            if (!ready_) std::this_thread::sleep_for(100ms);
        }
        if (ready_) setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    }
    ~JackServer() {
        stop();
        unlock();
    }
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    bool ready() const { return ready_; }
    const std::string& name() const { return name_; }

  private:
    bool lock(const std::string& name) {
        const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        const std::string path = std::string(folder) + "/" + name + ".lock";
        lockFile_ = open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
        if (lockFile_ < 0) return false;
        fchmod(lockFile_, 0666);  // a run as another user may take the name later
        if (flock(lockFile_, LOCK_EX | LOCK_NB) != 0) {
            unlock();
            return false;
        }
        name_ = name;
        return true;
    }
    void unlock() {
        if (lockFile_ >= 0) close(std::exchange(lockFile_, -1));
    }

    void start(bool synchronous) {
        std::vector<std::string> args{"jackd", "--no-realtime"};
        if (synchronous) args.emplace_back("-S");
        for (const char* a : {"-t", "5000", "-n"}) args.emplace_back(a);
        args.push_back(name_);
        for (const char* a : {"-d", "dummy", "-r", "48000", "-p", "1024"}) args.emplace_back(a);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        // The server ends with the test process even when that dies (a sanitizer's abort).
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execvp("jackd", argv.data());
            _exit(127);
        }
        if (pid_ < 0) {
            pid_ = 0;
            return;
        }
        int status = 0;
        ready_ = waitFor([&] {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {  // it could not start
                pid_ = 0;
                return true;
            }
            jack_status_t probeStatus;
            jack_client_t* probe = jack_client_open(
                "probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                &probeStatus, name_.c_str());
            if (probe) jack_client_close(probe);
            return probe != nullptr;
        }) && pid_ != 0;
    }
    // SIGTERM first, so that the server gives its registration back; SIGKILL only when it does
    // not end.
    void stop() {
        if (pid_ == 0) return;
        kill(pid_, SIGTERM);
        int status;
        if (!waitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 10s)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = 0;
    }

    std::string name_;
    int lockFile_ = -1;
    pid_t pid_ = 0;
    bool ready_ = false;
};

// A peer program on the JACK graph: an output port playing queued messages (as many per cycle as
// fit, or at most `perCycle`) and an input port recording what arrives.
class Peer {
  public:
    // A peer that is not `active` has its ports registered and runs once activate() is called,
    // as a program that sets itself up before it starts.
    explicit Peer(const std::string& name, size_t perCycle = SIZE_MAX, bool active = true)
        : perCycle_(perCycle) {
        client_ = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
        if (!client_) return;
        out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(
            client_, [](jack_nframes_t n, void* self) { return static_cast<Peer*>(self)->process(n); },
            this);
        if (active) activate();
    }
    bool activate() { return client_ && jack_activate(client_) == 0; }
    ~Peer() { close(); }
    void close() {
        if (client_) jack_client_close(std::exchange(client_, nullptr));
    }
    bool ok() const { return client_ && out_ && in_; }
    std::string port(const char* shortName) const {
        return std::string(jack_get_client_name(client_)) + ":" + shortName;
    }
    int connect(const std::string& from, const std::string& to) {
        return jack_connect(client_, from.c_str(), to.c_str());
    }
    int disconnect(const std::string& from, const std::string& to) {
        return jack_disconnect(client_, from.c_str(), to.c_str());
    }
    void play(std::vector<Bytes> messages) {
        std::lock_guard lock(mutex_);
        queued_.insert(queued_.end(), messages.begin(), messages.end());
    }
    // Whether everything queued has gone out.
    bool played() {
        std::lock_guard lock(mutex_);
        return next_ == queued_.size();
    }
    std::vector<Bytes> received() {
        std::lock_guard lock(mutex_);
        return received_;
    }
    // The process cycles the peer has run.
    uint64_t cycles() const { return cycles_.load(); }

  private:
    int process(jack_nframes_t frames) {
        void* out = jack_port_get_buffer(out_, frames);
        void* in = jack_port_get_buffer(in_, frames);
        jack_midi_clear_buffer(out);
        std::lock_guard lock(mutex_);  // the test's own client: no realtime rules here
        for (size_t n = 0; n < perCycle_ && next_ < queued_.size() &&
                           jack_midi_event_write(out, 0, queued_[next_].data(),
                                                 queued_[next_].size()) == 0;
             ++n)
            ++next_;
        for (uint32_t i = 0, n = jack_midi_get_event_count(in); i < n; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, in, i) == 0)
                received_.emplace_back(event.buffer, event.buffer + event.size);
        }
        cycles_.fetch_add(1);
        return 0;
    }

    const size_t perCycle_;
    jack_client_t* client_ = nullptr;
    jack_port_t* out_ = nullptr;
    jack_port_t* in_ = nullptr;
    std::mutex mutex_;
    std::vector<Bytes> queued_, received_;
    size_t next_ = 0;
    std::atomic<uint64_t> cycles_{0};
};

// Note Ons that tell apart every position of a run of up to 16,256.
inline std::vector<Bytes> notes(size_t count) {
    std::vector<Bytes> messages;
    for (size_t i = 0; i < count; ++i)
        messages.push_back({static_cast<uint8_t>(0x90 | (i % 16)), static_cast<uint8_t>(i % 128),
                            static_cast<uint8_t>(1 + (i / 128) % 127)});
    return messages;
}

// Compares message lists, naming the first difference rather than printing thousands of them.
inline ::testing::AssertionResult sameMessages(const std::vector<Bytes>& actual,
                                               const std::vector<Bytes>& expected) {
    const size_t common = std::min(actual.size(), expected.size());
    size_t i = 0;
    while (i < common && actual[i] == expected[i]) ++i;
    if (i == common && actual.size() == expected.size()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual.size() << " messages for " << expected.size()
                                         << ", first difference at " << i;
}

// libjack reports every failed attempt to reach a server on stderr; the tests expect many.
inline const bool quietJack = [] {
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    return true;
}();

}  // namespace jacktest
