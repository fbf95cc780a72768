// Reading a track tries the payload decoders on every event in a fixed order until one takes it,
// so most attempts fail. These benchmarks run that trial over the meta payload decoders for a
// few events, once with the failure values the decoders return and once with the same decoders
// made to throw, as a floor and a ceiling of what a refusal costs. Events: 0 a tempo, 1 a track
// name, 2 an unrecognised meta event (the last decoder takes it).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "midi_file/file_event.hpp"
#include "midi_file/variable_length.hpp"

namespace {

using namespace midifile;
using Bytes = std::vector<uint8_t>;

// The meta payloads in the order a track reader tries them.
using TrialOrder = std::variant<KeySignature, Text, TimeSignature, Tempo, SequencerSpecific,
                                SequenceNumber, ChannelPrefix, PortPrefix, XMFPatchTypePrefix,
                                UnrecognizedMeta>;

std::optional<MIDIFileEvent> tryInOrder(std::span<const uint8_t> window) {
    std::optional<MIDIFileEvent> event;
    [&]<class... Ps>(std::variant<Ps...>*) {
        (void)((event = [&]<class P>(P*) -> std::optional<MIDIFileEvent> {
                    auto decoded = decodePayload<P>(window);
                    if (!decoded) return std::nullopt;
                    return wrappedEvent(std::move(decoded).value().payload);
                }(static_cast<Ps*>(nullptr)),
                event.has_value()) ||
               ...);
    }(static_cast<TrialOrder*>(nullptr));
    return event;
}

std::optional<MIDIFileEvent> tryInOrderThrowing(std::span<const uint8_t> window) {
    std::optional<MIDIFileEvent> event;
    [&]<class... Ps>(std::variant<Ps...>*) {
        (void)((event = [&]<class P>(P*) -> std::optional<MIDIFileEvent> {
                    try {
                        return wrappedEvent(decodePayload<P>(window).value().payload);
                    } catch (const MIDIFileDecodeError&) {
                        return std::nullopt;
                    }
                }(static_cast<Ps*>(nullptr)),
                event.has_value()) ||
               ...);
    }(static_cast<TrialOrder*>(nullptr));
    return event;
}

const Bytes& eventBytes(int which) {
    static const Bytes events[] = {
        Tempo(140).smfRawBytes(),
        Text::trackOrSequenceName("Grand Piano").smfRawBytes(),
        UnrecognizedMeta{0x0C, Bytes(40, 0x41)}.smfRawBytes(),
    };
    return events[which];
}

void BM_DecoderTrial(benchmark::State& state) {
    const Bytes& bytes = eventBytes(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(tryInOrder(bytes));
}
BENCHMARK(BM_DecoderTrial)->Arg(0)->Arg(1)->Arg(2)->ArgName("event");

void BM_DecoderTrialThrowing(benchmark::State& state) {
    const Bytes& bytes = eventBytes(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(tryInOrderThrowing(bytes));
}
BENCHMARK(BM_DecoderTrialThrowing)->Arg(0)->Arg(1)->Arg(2)->ArgName("event");

void BM_VariableLengthRoundTrip(benchmark::State& state) {
    Bytes out;
    uint32_t value = 0;
    for (auto _ : state) {
        out.clear();
        appendVariableLengthValue(out, value);
        benchmark::DoNotOptimize(decodeVariableLengthValue(out));
        value = (value + 0x1357) & 0x0FFFFFFF;
    }
}
BENCHMARK(BM_VariableLengthRoundTrip);

}  // namespace

BENCHMARK_MAIN();
