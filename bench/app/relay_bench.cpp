// Relay latency: from a Note On played on a simulated keyboard to the datagram's arrival at a UDP
// socket on the loopback interface (services thread, the MIDI manager's queue, the main queue, the
// controller, the network thread), idle and while a large score converts on two other threads.
// The benchmark's thread pumps the main queue, as the window's event loop does. Reported as p50
// and p99 counters in microseconds.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "app/controller.hpp"
#include "app/midi_reader.hpp"
#include "dispatch/queue.hpp"
#include "midiservices/test_driver.hpp"
#include "score/musicxml_converter.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// One voice of quarter notes over `measures` measures of 4/4.
std::string largeScore(int measures) {
    static const char* steps[] = {"C", "D", "E", "F", "G", "A", "B"};
    std::string text =
        "<?xml version=\"1.0\"?><score-partwise><part-list><score-part id=\"P1\"/></part-list>"
        "<part id=\"P1\">";
    for (int m = 1; m <= measures; ++m) {
        text += "<measure number=\"" + std::to_string(m) + "\">";
        if (m == 1)
            text +=
                "<attributes><divisions>1</divisions><time><beats>4</beats>"
                "<beat-type>4</beat-type></time></attributes>";
        for (int beat = 0; beat < 4; ++beat)
            text += std::string("<note><pitch><step>") + steps[(m + beat) % 7] +
                    "</step><octave>4</octave></pitch><duration>1</duration><voice>1</voice>"
                    "<type>quarter</type></note>";
        text += "</measure>";
    }
    return text + "</part></score-partwise>";
}

struct Receiver {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    uint16_t port = 0;
    Receiver() {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t n = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
        port = ntohs(a.sin_port);
    }
    ~Receiver() { ::close(fd); }
    // Pumps the main queue until a datagram is there (at most a second).
    bool receive() const {
        const auto end = Clock::now() + std::chrono::seconds(1);
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, 0) <= 0) {
            if (Clock::now() > end) return false;
            dispatch::Queue::main()->drain();
        }
        uint8_t buffer[16];
        return ::recv(fd, buffer, sizeof buffer, 0) > 0;
    }
};

void relay(benchmark::State& state, int converters) {
    midiservices::testdriver::SimulatedSystem system;
    const auto keyboard = system.plug(
        {"Keys", "Keys", "Maker", midiservices::MIDIProtocolID::midi1_0, {{"E", {"Keys"}, {}}}});
    Receiver receiver;
    companion::CompanionOptions options;
    options.headsetPort = receiver.port;
    options.diagnostics = nullptr;
    options.makeMidiInput =
        companion::MidiReader::factory(std::make_shared<midiio::KeyValueStore>(""));
    auto controller = companion::CompanionController::make(options);
    controller->ipAddress = "127.0.0.1";
    controller->start();
    if (!controller->hasMidiInput()) {
        state.SkipWithError("no MIDI input");
        return;
    }
    system.drain();

    std::atomic<bool> stop{false};
    std::vector<std::thread> load;
    const std::string score = largeScore(4000);
    for (int i = 0; i < converters; ++i)
        load.emplace_back([&] {
            while (!stop) {
                score::JpsMusicXmlConverter converter;
                converter.parseScore(score);
            }
        });

    const auto on =
        midicore::MIDIEvent::noteOn(midicore::MIDINote(midicore::UInt7(60)),
                                    midicore::ChanVoice7Bit16BitValue::midi1(midicore::UInt7(100)));
    std::vector<double> micros;
    for (auto _ : state) {
        const auto sent = Clock::now();
        system.play(keyboard.source(0), {0x90, 0x3C, 0x64});
        if (!receiver.receive()) {
            state.SkipWithError("a datagram was lost");
            break;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    }
    stop = true;
    for (auto& t : load)
        t.join();
    controller->stop();
    if (micros.empty()) return;
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}

void BM_RelayIdle(benchmark::State& state) {
    relay(state, 0);
}
void BM_RelayWhileConverting(benchmark::State& state) {
    relay(state, 2);
}

BENCHMARK(BM_RelayIdle)->Iterations(5000)->UseRealTime();
BENCHMARK(BM_RelayWhileConverting)->Iterations(5000)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
