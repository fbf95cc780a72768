// The timecode hot paths: frame counting both ways (drop and non-drop), string output, text
// parsing, and real-time conversion both ways.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "timecode/timecode.hpp"

using namespace timecode;

namespace {

void componentsToFrameCount(benchmark::State& state, TimecodeFrameRate rate) {
    auto tc = Timecode::fromComponents({0, 13, 37, 21, 14, 0}, rate);
    for (auto _ : state) {
        tc.seconds = (tc.seconds + 1) % 60;
        benchmark::DoNotOptimize(tc.frameCount().wholeFrames());
    }
}

void frameCountToComponents(benchmark::State& state, TimecodeFrameRate rate) {
    int64_t n = 1234567;
    for (auto _ : state) {
        n = (n + 7919) % 2000000;
        benchmark::DoNotOptimize(Timecode::components(FrameCount::Value::frames(n), SubFramesBase::_80SubFrames, rate));
    }
}

void stringValue(benchmark::State& state) {
    auto tc = Timecode::fromComponents({0, 13, 37, 21, 14, 0}, TimecodeFrameRate::_29_97_drop);
    for (auto _ : state) benchmark::DoNotOptimize(tc.stringValue());
}

void parseString(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(Timecode::fromString("13:37:21;14", TimecodeFrameRate::_29_97_drop));
}

void realTimeValue(benchmark::State& state) {
    auto tc = Timecode::fromComponents({0, 13, 37, 21, 14, 0}, TimecodeFrameRate::_29_97_drop);
    for (auto _ : state) benchmark::DoNotOptimize(tc.realTimeValue());
}

void fromRealTime(benchmark::State& state) {
    double seconds = 49041.5;
    for (auto _ : state) {
        seconds += 0.001;
        benchmark::DoNotOptimize(Timecode::fromRealTime(seconds, TimecodeFrameRate::_29_97_drop));
    }
}

void addingWrapping(benchmark::State& state) {
    auto tc = Timecode::fromComponents({0, 13, 37, 21, 14, 0}, TimecodeFrameRate::_29_97_drop);
    for (auto _ : state) tc = tc.adding({0, 0, 0, 0, 1, 0}, Timecode::LimitBehavior::wrapping);
    benchmark::DoNotOptimize(tc);
}

}  // namespace

BENCHMARK_CAPTURE(componentsToFrameCount, _25, TimecodeFrameRate::_25);
BENCHMARK_CAPTURE(componentsToFrameCount, _29_97_drop, TimecodeFrameRate::_29_97_drop);
BENCHMARK_CAPTURE(frameCountToComponents, _25, TimecodeFrameRate::_25);
BENCHMARK_CAPTURE(frameCountToComponents, _29_97_drop, TimecodeFrameRate::_29_97_drop);
BENCHMARK(stringValue);
BENCHMARK(parseString);
BENCHMARK(realTimeValue);
BENCHMARK(fromRealTime);
BENCHMARK(addingWrapping);

BENCHMARK_MAIN();
