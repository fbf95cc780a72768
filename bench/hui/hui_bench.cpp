// A surface's receive path over a mixed host stream: motor faders, switch lamps, V-Pot rings,
// level meters and display messages, decoded into host events, and the same stream through a
// whole surface (decoding, presence, model updates, notifications). Reports events per second.
#include <benchmark/benchmark.h>

#include "hui/events.hpp"
#include "hui/role_decoders.hpp"
#include "hui/surface.hpp"

namespace {

using namespace hui;
using midicore::MIDIEvent;
using midicore::UInt14;
using midicore::UInt4;

std::vector<MIDIEvent> mixedHostStream() {
    std::vector<HUIHostEvent> events;
    for (unsigned strip = 0; strip < 8; ++strip) {
        events.push_back(HUIHostEvent::faderLevel(UInt4(strip), UInt14(strip * 2000)));
        events.push_back(HUIHostEvent::switch_(
            HUISwitch::channelStrip(UInt4(strip), HUISwitch::ChannelStrip::mute), strip % 2 == 0));
        events.push_back(HUIHostEvent::levelMeter(
            UInt4(strip), surfacemodel::StereoLevelMeter::Side::left, strip));
        events.push_back(HUIHostEvent::vPot(HUIVPot::channel(UInt4(strip)),
                                            HUIVPotDisplay::fromRingByte(midicore::UInt7(0x16))));
        events.push_back(HUIHostEvent::channelDisplay(UInt4(strip), HUISmallDisplayString("Trk")));
    }
    events.push_back(
        HUIHostEvent::timeDisplay({HUITimeDisplayCharacter::num1, HUITimeDisplayCharacter::num2dot,
                                   HUITimeDisplayCharacter::num3}));
    events.push_back(HUIHostEvent::largeDisplay(surfacemodel::LargeDisplay().slices()));
    events.push_back(HUIHostEvent::ping());
    std::vector<MIDIEvent> midi;
    for (const auto& e : events) {
        const auto encoded = e.encode();
        midi.insert(midi.end(), encoded.begin(), encoded.end());
    }
    return midi;
}

void BM_DecodeMixedHostStream(benchmark::State& state) {
    const auto stream = mixedHostStream();
    HUIHostEventDecoder decoder;
    std::size_t delivered = 0;
    decoder.setEventHandler([&](const HUIHostEvent&) { ++delivered; });
    for (auto _ : state)
        decoder.midiIn(stream);
    benchmark::DoNotOptimize(delivered);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["events/iteration"] = static_cast<double>(stream.size());
}
BENCHMARK(BM_DecodeMixedHostStream);

// Held by a shared_ptr as a client holds it, on a manual clock so that no timer thread runs.
void BM_SurfaceReceivesMixedHostStream(benchmark::State& state) {
    const auto stream = mixedHostStream();
    const auto main = dispatch::Queue::main();
    std::size_t notified = 0;
    const auto surface = std::make_shared<HUISurface>(
        true, [&](const HUISurfaceModelNotification&) { ++notified; }, nullptr,
        HUIRoleEnvironment{main, dispatch::TimerService::makeManual(), main});
    for (auto _ : state)
        surface->midiIn(stream);
    benchmark::DoNotOptimize(notified);
    main->drain();
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_SurfaceReceivesMixedHostStream);

void BM_EncodeFaderLevel(benchmark::State& state) {
    unsigned level = 0;
    for (auto _ : state) {
        auto events = HUIHostEvent::faderLevel(UInt4(level & 7), UInt14(level & 0x3FFF)).encode();
        benchmark::DoNotOptimize(events);
        ++level;
    }
}
BENCHMARK(BM_EncodeFaderLevel);

}  // namespace
BENCHMARK_MAIN();
