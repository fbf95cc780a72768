// The receiver on a manual clock, fed by an encoder: states, lock and drop-out timing, and the
// handlers on the main queue.
#include <gtest/gtest.h>

#include "midi_sync/mtc_encoder.hpp"
#include "midi_sync/mtc_receiver.hpp"
#include "mtc_support.hpp"

using namespace std::chrono_literals;
using namespace midisync;
using namespace mtctest;
using TFR = TimecodeFrameRate;
using State = MTCReceiver::State;
using Case = State::Case;

namespace {

constexpr auto quarterFrame30 = 8333333ns;

struct Fixture {
    std::shared_ptr<dispatch::TimerService> clock = dispatch::TimerService::makeManual();
    std::vector<State> states;            // as the main queue saw them
    std::vector<Timecode> timecodes;      // as the main queue saw them
    bool allOnMain = true;
    std::shared_ptr<MTCReceiver> receiver;
    MTCEncoder encoder{[this](const std::vector<MIDIEvent>& events) { receiver->midiIn(events); }};

    explicit Fixture(std::optional<TFR> local = TFR::_30, std::optional<MTCReceiver::SyncPolicy> policy = {}) {
        receiver = MTCReceiver::make(
            "test", local, policy,
            [this](const Timecode& tc, MTCMessageType, MTCDirection, bool) {
                allOnMain = allOnMain && dispatch::MainQueue::isMainThread();
                timecodes.push_back(tc);
            },
            [this](const State& s) {
                allOnMain = allOnMain && dispatch::MainQueue::isMainThread();
                states.push_back(s);
            },
            clock);
        dispatch::Queue::main()->drain();
    }
    // Handlers still queued on the main queue refer to this fixture: run them while it exists.
    ~Fixture() {
        receiver.reset();
        dispatch::Queue::main()->drain();
    }

    // Moves the clock by `by` in 1 ms steps; each step lets a timer firing and the tick it posts
    // finish on the receiver's queue.
    void advance(dispatch::Duration by) {
        for (dispatch::Duration done{0}; done < by;) {
            const auto d = std::min<dispatch::Duration>(1ms, by - done);
            clock->advance(d);
            done += d;
            receiver->queue()->sync([] {});
            receiver->queue()->sync([] {});
        }
    }
    // One quarter frame of the stream, then a quarter frame's time.
    void piece(dispatch::Duration interval = quarterFrame30) {
        encoder.increment();
        advance(interval);
    }
    std::vector<Case> stateCases() {
        dispatch::Queue::main()->drain();
        std::vector<Case> out;
        for (const State& s : states) out.push_back(s.stateCase());
        return out;
    }
};

Timecode at(TFR rate, Timecode::Components c) {
    return Timecode::fromComponents(c, rate, timecode::UpperLimit::_24hours, timecode::SubFramesBase::_100SubFrames);
}

}  // namespace

TEST(MTCReceiver, CleanStreamLocks) {
    Fixture f;
    f.encoder.locate(at(TFR::_30, {.h = 1}), MTCEncoder::FullFrameBehavior::never);
    for (int i = 0; i < 8; ++i) f.piece();
    EXPECT_TRUE(f.stateCases().empty());
    EXPECT_EQ(f.receiver->state(), State::idle());

    // The ninth piece reports 01:00:00:02: freewheeling, then pre-sync 16 frames ahead.
    f.encoder.increment();
    const auto reportedAt = f.clock->now();
    f.receiver->queue()->sync([] {});
    EXPECT_EQ(f.stateCases(), (std::vector<Case>{Case::freewheeling, Case::preSync}));
    const State pre = f.receiver->state();
    ASSERT_EQ(pre.stateCase(), Case::preSync);
    EXPECT_EQ(pre.lockTimecode()->stringValue(), "01:00:00:18");
    EXPECT_EQ(*pre.predictedLockTime() - reportedAt, 533333us);
    f.advance(quarterFrame30);

    // Sync comes on the first tick at which the stored timecode has reached 01:00:00:18: 16 frames
    // = 64 pieces after the first report.
    for (int i = 1; i < 64; ++i) f.piece();
    EXPECT_EQ(f.receiver->state().stateCase(), Case::preSync);
    EXPECT_EQ(f.receiver->timecode().stringValue(), "01:00:00:17");
    f.encoder.increment();
    f.advance(5ms);  // the next tick
    EXPECT_EQ(f.receiver->timecode().stringValue(), "01:00:00:18");
    EXPECT_EQ(f.stateCases(), (std::vector<Case>{Case::freewheeling, Case::preSync, Case::sync}));
    EXPECT_EQ(f.states.back().description(), "chasing");

    // Every report reached the main queue, in order, on the main thread.
    ASSERT_EQ(f.timecodes.size(), 65u);
    for (size_t i = 1; i < f.timecodes.size(); ++i) EXPECT_FALSE(f.timecodes[i] < f.timecodes[i - 1]) << i;
    EXPECT_TRUE(f.allOnMain);
}

TEST(MTCReceiver, GapsInTheStream) {
    for (const bool resume : {true, false}) {
        SCOPED_TRACE(resume ? "60 ms gap, then the stream again" : "the stream stops");
        Fixture f;
        f.encoder.locate(at(TFR::_30, {.h = 1}), MTCEncoder::FullFrameBehavior::never);
        for (int i = 0; i < 90; ++i) f.piece();
        ASSERT_EQ(f.receiver->state(), State::sync());
        const size_t reports = (dispatch::Queue::main()->drain(), f.timecodes.size());

        // Last report one quarter frame ago; freewheeling on the first tick past 50 ms.
        f.advance(40ms);
        EXPECT_EQ(f.receiver->state(), State::sync());
        f.advance(5ms);
        EXPECT_EQ(f.receiver->state(), State::freewheeling());
        dispatch::Duration quiet = quarterFrame30 + 45ms;
        if (resume) {
            // The assembly is cleared on every tick while the gap is counted: no report can
            // complete until the drop-out, 10 frames (333 ms) after the last report.
            f.advance(60ms - quiet);
            quiet = 60ms;
            while (quiet < 333333333ns - quarterFrame30) {
                f.piece();
                quiet += quarterFrame30;
            }
            dispatch::Queue::main()->drain();
            EXPECT_EQ(f.timecodes.size(), reports);
            EXPECT_EQ(f.receiver->state(), State::freewheeling());
            for (int i = 0; i < 3; ++i) f.piece();
            EXPECT_EQ(f.receiver->state(), State::idle());
            // From idle the stream is assembled again and locks anew.
            for (int i = 0; i < 12; ++i) f.piece();
            EXPECT_EQ(f.stateCases(), (std::vector<Case>{Case::freewheeling, Case::preSync, Case::sync,
                                                         Case::freewheeling, Case::idle, Case::freewheeling,
                                                         Case::preSync}));
            EXPECT_GT(f.timecodes.size(), reports);
        } else {
            f.advance(333333333ns - quiet - 2ms);
            EXPECT_EQ(f.receiver->state(), State::freewheeling());
            f.advance(7ms);
            EXPECT_EQ(f.receiver->state(), State::idle());
            f.receiver->queue()->sync([&] {});
            f.advance(50ms);
            EXPECT_EQ(f.stateCases().back(), Case::idle);
            EXPECT_EQ(f.stateCases().size(), 5u);
        }
    }
}

TEST(MTCReceiver, IncompatibleLocalRate) {
    Fixture f(TFR::_25);
    f.encoder.locate(at(TFR::_30, {.h = 1}), MTCEncoder::FullFrameBehavior::always);
    for (int i = 0; i < 12; ++i) f.piece();
    EXPECT_EQ(f.stateCases(), (std::vector<Case>{Case::incompatibleFrameRate}));
    EXPECT_EQ(f.timecodes.size(), 4u);  // the quarter-frame reports, not the full frame
    EXPECT_EQ(f.receiver->mtcFrameRate(), MTCFrameRate::mtc30);

    // A compatible local rate takes the receiver on to pre-sync with the next report.
    f.receiver->setLocalFrameRate(TFR::_60);
    f.piece();
    EXPECT_EQ(f.stateCases(), (std::vector<Case>{Case::incompatibleFrameRate, Case::freewheeling, Case::preSync}));
    EXPECT_EQ(f.receiver->timecode().frameRate, TFR::_60);
}

TEST(MTCReceiver, PoliciesAndStates) {
    using Policy = MTCReceiver::SyncPolicy;
    EXPECT_EQ(Policy(150, -3), Policy::unclamped(100, 0));
    EXPECT_EQ(Policy::unclamped(150, 10).lockFrames, 150);
    EXPECT_EQ(Policy(), Policy(16, 10));
    EXPECT_DOUBLE_EQ(Policy().dropOutDuration(TFR::_30), 1.0 / 3);
    EXPECT_DOUBLE_EQ(Policy().lockDuration(TFR::_25), 0.64);
    // Any stored count has a duration: counts wrap at a day.
    EXPECT_GE(Policy::unclamped(std::numeric_limits<int64_t>::max(), -5).dropOutDuration(TFR::_30), 0.0);

    // The coded form: plain integers under two keys, read back unclamped; anything else refused.
    struct TextWriter {
        std::string out;
        void beginObject() { out += "{"; }
        void endObject() { out += "}"; }
        void key(std::string_view k) { out += (out.back() == '{' ? "\"" : ",\"") + std::string(k) + "\":"; }
        void value(int64_t v) { out += std::to_string(v); }
    } writer;
    Policy(20, 5).encode(writer);
    EXPECT_EQ(writer.out, R"({"lockFrames":20,"dropOutFrames":5})");
    EXPECT_EQ(Policy::decode(writer.out), Policy(20, 5));
    EXPECT_EQ(Policy::decode(R"({"dropOutFrames": -3, "lockFrames": 150})"), Policy::unclamped(150, -3));
    for (const char* bad : {"[]", R"({"lockFrames": 1})", R"({"lockFrames": 1.5, "dropOutFrames": 2})",
                            R"({"lockFrames": "1", "dropOutFrames": 2})", "{"})
        EXPECT_THROW(Policy::decode(bad), timecode::TimecodeDecodingError) << bad;

    // With a drop-out of 0 the receiver falls to idle on the first tick after each report.
    Fixture f(TFR::_30, Policy(16, 0));
    f.encoder.locate(at(TFR::_30, {.h = 1}), MTCEncoder::FullFrameBehavior::never);
    for (int i = 0; i < 9; ++i) f.piece();
    EXPECT_EQ(f.receiver->state(), State::idle());
    EXPECT_EQ(f.stateCases(), (std::vector<Case>{Case::freewheeling, Case::preSync, Case::idle}));

    // Setting the state it already has announces nothing; states compare with their payloads.
    f.receiver->setState(State::idle());
    EXPECT_EQ(f.stateCases().size(), 3u);
    const auto t = f.clock->now();
    EXPECT_EQ(State::preSync(t, at(TFR::_30, {.f = 1})), State::preSync(t, at(TFR::_30, {.f = 1})));
    EXPECT_NE(State::preSync(t, at(TFR::_30, {.f = 1})), State::preSync(t, at(TFR::_30, {.f = 2})));
    EXPECT_NE(State::sync(), State::freewheeling());
    EXPECT_EQ(f.receiver->queue()->label(), "voreduv.mtcreceiver.test");
    EXPECT_EQ(MTCReceiver::make()->name().size(), 36u);
}
