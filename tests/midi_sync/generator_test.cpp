// The generator on a manual clock: the stream's timing, deferred starts, stops and locates.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>

#include "midi_sync/mtc_generator.hpp"
#include "mtc_support.hpp"

using namespace std::chrono_literals;
using namespace midisync;
using namespace mtctest;
using TFR = TimecodeFrameRate;

namespace {

struct Sent {
    std::vector<uint8_t> bytes;
    dispatch::TimePoint at;
};

struct Fixture {
    std::shared_ptr<dispatch::TimerService> clock = dispatch::TimerService::makeManual();
    dispatch::TimePoint origin = clock->now();
    std::mutex mutex;
    std::vector<Sent> sent;
    std::shared_ptr<MTCGenerator> generator = MTCGenerator::make(
        "test",
        [this](const std::vector<MIDIEvent>& events) {
            std::lock_guard lock(mutex);
            sent.push_back({bytesOf(events), clock->now()});
        },
        clock);
    std::shared_ptr<dispatch::Queue> queue = generator->queue();

    // Moves the clock in steps of at most `step` and lets the generator's queue catch up after each.
    void advance(dispatch::Duration by, dispatch::Duration step = 100us) {
        dispatch::Duration done{0};
        do {
            const auto d = std::min(step, by - done);
            clock->advance(d);
            done += d;
            queue->sync([] {});
        } while (done < by);
    }
    std::vector<Sent> take() {
        std::lock_guard lock(mutex);
        return std::exchange(sent, {});
    }
};

Timecode at(TFR rate, Timecode::Components c) {
    return Timecode::fromComponents(c, rate, timecode::UpperLimit::_24hours, timecode::SubFramesBase::_100SubFrames);
}

}  // namespace

TEST(MTCGenerator, StreamStartsAtOnceAndSendsOnePiecePerQuarterFrame) {
    Fixture f;
    f.generator->start(at(TFR::_30, {.h = 1}));
    EXPECT_EQ(f.generator->state(), MTCGenerator::State::generating);
    f.advance(0ns);
    f.advance(100ms);
    const auto sent = f.take();
    // 01:00:00:00 then 01:00:00:02 at 30 fps; 8.333 ms apart, no full frame.
    const uint8_t expected[] = {0x00, 0x10, 0x20, 0x30, 0x40, 0x50, 0x61, 0x76, 0x02, 0x10, 0x20, 0x30};
    ASSERT_EQ(sent.size(), 13u);  // at 0 and at each of the 12 quarter frames within 100 ms
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(sent[i].bytes, (std::vector<uint8_t>{0xF1, expected[i]})) << i;
        const auto offset = std::chrono::duration_cast<std::chrono::nanoseconds>(sent[i].at - f.origin).count();
        // Each firing lands on the first 100 us step at or after its deadline.
        EXPECT_NEAR(static_cast<double>(offset), std::ceil(i * 8333333.0 / 100000) * 100000, 1) << i;
    }
    f.generator->stop();
    EXPECT_EQ(f.generator->state(), MTCGenerator::State::idle);
    f.advance(50ms);
    EXPECT_TRUE(f.take().empty());
}

TEST(MTCGenerator, StartBetweenFramesWaitsForTheNextWholeFrame) {
    const struct {
        const char* what;
        double realTime;       // < 0: 01:00:00:00 and 50 subframes at 25 via components
        TFR rate;
        dispatch::Duration wait;
        uint8_t firstPiece;
        const char* startsAt;
        bool stopMeanwhile;
    } cases[] = {
        {"half a frame at 25", -1, TFR::_25, 20ms, 0x40, "01:00:00:01", false},
        {"stopped before the frame", -1, TFR::_25, 20ms, 0, "", true},
        // The day's last frame at 30 fps plus half a frame: the stream starts at midnight, half a
        // frame later, not after a wait computed from a negative delay.
        {"just before midnight", 86400.0 - 1.0 / 60, TFR::_30, 16666667ns, 0x00, "00:00:00:00", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        if (c.realTime < 0)
            f.generator->start(Timecode::Components{.h = 1, .sf = 50}, c.rate, timecode::SubFramesBase::_100SubFrames);
        else
            EXPECT_TRUE(f.generator->start(c.realTime, c.rate));
        f.advance(c.wait - 200us, 100us);
        EXPECT_TRUE(f.take().empty());
        EXPECT_EQ(f.generator->state(), MTCGenerator::State::idle);
        if (c.stopMeanwhile) f.generator->stop();
        f.advance(400us, 100us);
        const auto sent = f.take();
        if (c.stopMeanwhile) {
            f.advance(100ms);
            EXPECT_TRUE(sent.empty() && f.take().empty());
            EXPECT_EQ(f.generator->state(), MTCGenerator::State::idle);
            continue;
        }
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].bytes, (std::vector<uint8_t>{0xF1, c.firstPiece}));
        EXPECT_EQ(f.generator->state(), MTCGenerator::State::generating);
        EXPECT_EQ(f.generator->timecode().stringValue(), c.startsAt);
    }
}

TEST(MTCGenerator, RealTimesWithoutATimeOfDayAreRefused) {
    Fixture f;
    for (double t : {std::nan(""), std::numeric_limits<double>::infinity(), -1.0, 86400.0, 1e300}) {
        EXPECT_FALSE(f.generator->start(t, TFR::_30)) << t;
        f.advance(50ms, 1ms);
        EXPECT_TRUE(f.take().empty()) << t;
        EXPECT_EQ(f.generator->state(), MTCGenerator::State::idle);
    }
    EXPECT_THROW(f.generator->start(Timecode::Components{.h = 300}, TFR::_30, timecode::SubFramesBase::_100SubFrames),
                 MTCError);
}

TEST(MTCGenerator, LocatesAndTheTickOfTheRate) {
    Fixture f;
    const Timecode tc = at(TFR::_48, {.h = 2, .f = 10});
    f.generator->locate(tc);
    f.generator->locate(tc);  // ifDifferent: the same position sends nothing the second time
    auto sent = f.take();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, (std::vector<uint8_t>{0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x02, 0x00, 0x00, 0x05, 0xF7}));
    EXPECT_EQ(f.generator->mtcFrameRate(), MTCFrameRate::mtc24);
    EXPECT_EQ(f.generator->localFrameRate(), TFR::_48);
    EXPECT_THROW(f.generator->locate(Timecode::Components{.m = -1}), MTCError);

    // 48 fps sends at 24 fps MTC: a piece every 10.416667 ms.
    f.generator->start(tc);
    f.advance(0ns);
    f.advance(10416600ns, 10us);
    EXPECT_EQ(f.take().size(), 1u);
    f.advance(100ns, 100ns);
    EXPECT_EQ(f.take().size(), 1u);
    const struct {
        TFR rate;
        double seconds;
    } table[] = {
        {TFR::_23_976, 0.010427083333333333}, {TFR::_96, 0.010416666666666666}, {TFR::_24_98, 0.010009999999999998},
        {TFR::_100, 0.01}, {TFR::_30_drop, 0.008341666666666666}, {TFR::_29_97, 0.008341666666666666},
        {TFR::_120, 0.008333333333333333}, {TFR::_119_88_drop, 0.008341666666666666},
    };
    for (const auto& row : table) EXPECT_EQ(MTCGenerator::quarterFrameInterval(row.rate), row.seconds);
}

TEST(MTCGenerator, NamesQueuesAndRelease) {
    auto a = MTCGenerator::make();
    auto b = MTCGenerator::make();
    EXPECT_NE(a->queue(), b->queue());
    EXPECT_NE(a->name(), b->name());
    EXPECT_EQ(a->name().size(), 36u);
    EXPECT_EQ(a->queue()->label(), "voreduv.mtcgenerator." + a->name());
    EXPECT_EQ(MTCGenerator::make("x")->queue()->label(), "voreduv.mtcgenerator.x");

    // The output handler may call back into the generator; releasing it stops the stream.
    Fixture f;
    std::atomic<int> count{0};
    std::vector<uint8_t> bytes;  // written on the generator's queue, read after syncing with it
    std::weak_ptr<MTCGenerator> weak = f.generator;
    f.generator->setMIDIOutHandler([&](const std::vector<MIDIEvent>& events) {
        const auto b = bytesOf(events);
        bytes.insert(bytes.end(), b.begin(), b.end());
        if (++count == 3)
            if (auto g = weak.lock()) g->locate(Timecode::Components{.h = 3});
    });
    f.generator->start(at(TFR::_30, {.h = 1}));
    f.advance(30ms, 1ms);
    // Pieces 0-2, the full frame of the locate made inside the handler, then the located piece.
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0xF1, 0x00, 0xF1, 0x10, 0xF1, 0x20, 0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x63,
                                           0x00, 0x00, 0x00, 0xF7, 0xF1, 0x00}));
    const auto end = f.generator->queue()->whenEnded();
    f.generator.reset();
    f.advance(30ms, 1ms);
    EXPECT_EQ(count.load(), 5);
    f.queue.reset();
    EXPECT_TRUE(end.wait(5s));
}
