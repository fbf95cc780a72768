// The receive parsers on the streams they meet: notes under running status, dense real time, and a
// 1 MB System Exclusive message in 256-byte packets (MIDI 1.0) or in UMP messages. Bytes/s and
// events/s; the System Exclusive rates show whether collecting grows linearly.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "midi_io/midi1_parser.hpp"
#include "midi_io/midi2_parser.hpp"
#include "midi_io/packet_data.hpp"
#include "midi_io/receive_handler.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> packets(const Bytes& stream, size_t size) {
    std::vector<Bytes> result;
    for (size_t at = 0; at < stream.size(); at += size) {
        result.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                            stream.begin() + static_cast<std::ptrdiff_t>(std::min(stream.size(), at + size)));
    }
    return result;
}

void runMIDI1(benchmark::State& state, const std::vector<Bytes>& stream) {
    midiio::MIDI1Parser parser;
    std::vector<midicore::MIDIEvent> events;
    size_t bytes = 0;
    size_t count = 0;
    for (auto _ : state) {
        for (const Bytes& packet : stream) {
            events.clear();
            parser.parse(packet, midicore::UInt4(0), events);
            count += events.size();
            bytes += packet.size();
        }
        benchmark::DoNotOptimize(events.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["events/s"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsRate);
}

// 4096 notes on and off under one running status.
void RunningStatusNotes(benchmark::State& state) {
    Bytes stream{0x90};
    for (int i = 0; i < 4096; ++i) {
        const auto note = static_cast<uint8_t>(i % 128);
        stream.insert(stream.end(), {note, static_cast<uint8_t>(i % 2 ? 0 : 100)});
    }
    runMIDI1(state, packets(stream, 256));
}
BENCHMARK(RunningStatusNotes);

// Timing Clock between every byte of a note stream.
void DenseRealTime(benchmark::State& state) {
    Bytes stream;
    for (int i = 0; i < 2048; ++i) {
        stream.insert(stream.end(), {0xF8, 0x90, 0xF8, static_cast<uint8_t>(i % 128), 0xF8, 0x40});
    }
    runMIDI1(state, packets(stream, 256));
}
BENCHMARK(DenseRealTime);

Bytes sysExBody(size_t size) {
    Bytes body(size);
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<uint8_t>(i % 128);
    body[0] = 0x7D;
    return body;
}

// One message of 64 KiB or 1 MB, as a keyboard's driver hands it over: equal rates mean linear cost.
void SysExInPackets(benchmark::State& state) {
    Bytes stream{0xF0};
    const Bytes body = sysExBody(static_cast<size_t>(state.range(0)));
    stream.insert(stream.end(), body.begin(), body.end());
    stream.push_back(0xF7);
    runMIDI1(state, packets(stream, 256));
}
BENCHMARK(SysExInPackets)->Arg(64 * 1024)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The same message as type-3 UMP messages of six bytes each.
void SysEx1MBAsUMP(benchmark::State& state) {
    const Bytes body = sysExBody(1000000);
    std::vector<Bytes> messages;
    for (size_t at = 0; at < body.size(); at += 6) {
        const size_t n = std::min<size_t>(6, body.size() - at);
        const int status = at == 0 ? 1 : (at + n == body.size() ? 3 : 2);
        Bytes m{0x30, static_cast<uint8_t>(status << 4 | n)};
        m.insert(m.end(), body.begin() + static_cast<std::ptrdiff_t>(at),
                 body.begin() + static_cast<std::ptrdiff_t>(at + n));
        m.resize(8, 0);
        messages.push_back(m);
    }
    midiio::MIDI2Parser parser;
    std::vector<midicore::MIDIEvent> events;
    size_t count = 0;
    for (auto _ : state) {
        for (const Bytes& m : messages) {
            parser.parse(m, events);
        }
        count += events.size();
        events.clear();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * messages.size() * 8));
    state.counters["events/s"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsRate);
}
BENCHMARK(SysEx1MBAsUMP)->Unit(benchmark::kMillisecond);

// The whole path of one event list of MIDI 2.0 notes: decoding, then the events strategy.
void EventListToEvents(benchmark::State& state) {
    midiservices::EventListStorage storage(64 * 1024);
    auto* at = midiservices::MIDIEventListInit(storage.list(), midiservices::MIDIProtocolID::midi2_0);
    std::vector<uint32_t> words;
    for (uint32_t i = 0; i < 32; ++i) words.insert(words.end(), {0x40903C00 | i << 8, 0x80000000});
    size_t messages = 0;
    for (int p = 0; p < 64; ++p) {
        at = midiservices::MIDIEventListAdd(storage.list(), storage.byteCount(), at, 0, words.size(), words.data());
        messages += 32;
    }
    size_t count = 0;
    auto handler = midiio::MIDIReceiver::events(true, [&](const std::vector<midicore::MIDIEvent>& e) {
                       count += e.size();
                   }).makeReceiveHandler();
    for (auto _ : state) {
        handler->eventListReceived(
            midiio::universalPacketDataArray(storage.list(), storage.byteCount(), nullptr, false),
            midicore::MIDIProtocolVersion::_2_0);
    }
    state.counters["events/s"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsRate);
    state.counters["messages"] = static_cast<double>(messages);
}
BENCHMARK(EventListToEvents);

}  // namespace

BENCHMARK_MAIN();
