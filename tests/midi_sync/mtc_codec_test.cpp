#include <gtest/gtest.h>

#include <random>

#include "midi_sync/mtc_encoder.hpp"
#include "mtc_support.hpp"

using namespace midisync;
using namespace mtctest;
using TFR = TimecodeFrameRate;
using Behavior = MTCEncoder::FullFrameBehavior;
using Bytes = std::vector<uint8_t>;

namespace {

struct RecordingEncoder {
    std::vector<MIDIEvent> sent;
    MTCEncoder encoder{[this](const std::vector<MIDIEvent>& events) {
        EXPECT_EQ(events.size(), 1u);
        sent.insert(sent.end(), events.begin(), events.end());
    }};
    Bytes take() {
        Bytes b = bytesOf(sent);
        sent.clear();
        return b;
    }
};

Timecode at(TFR rate, Timecode::Components c) {
    return Timecode::fromComponents(c, rate, timecode::UpperLimit::_24hours, timecode::SubFramesBase::_100SubFrames);
}

}  // namespace

TEST(MTCEncoder, LocateAndStepVectors) {
    RecordingEncoder r;
    r.encoder.locate(at(TFR::_30, {.h = 1, .f = 10}), Behavior::always);
    EXPECT_EQ(r.take(), (Bytes{0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x61, 0x00, 0x00, 0x0A, 0xF7}));
    r.encoder.increment();
    r.encoder.increment();
    EXPECT_EQ(r.take(), (Bytes{0xF1, 0x0A, 0xF1, 0x10}));

    // Frame 11 is the second frame of the cycle that starts at 10: piece 4.
    r.encoder.locate(at(TFR::_30, {.f = 11}), Behavior::always);
    EXPECT_EQ(r.encoder.mtcComponents().f, 10);
    EXPECT_EQ(r.encoder.mtcQuarterFrame(), 4);
    EXPECT_EQ(r.take()[8], 11);
    r.encoder.increment();
    EXPECT_EQ(r.take(), (Bytes{0xF1, 0x40}));

    // At 48 fps, frame 10 is MTC frame 5: cycle 4, piece 4.
    r.encoder.locate(at(TFR::_48, {.f = 10}), Behavior::never);
    EXPECT_EQ(r.encoder.mtcComponents().f, 4);
    EXPECT_EQ(r.encoder.mtcQuarterFrame(), 4);
    EXPECT_EQ(r.encoder.mtcFrameRate(), MTCFrameRate::mtc24);
    EXPECT_EQ(r.encoder.timecode().frames, 10);

    // Decrement right after a locate sends the located piece without moving.
    r.encoder.decrement();
    EXPECT_EQ(r.take(), (Bytes{0xF1, 0x40}));
    EXPECT_EQ(r.encoder.mtcQuarterFrame(), 4);
}

TEST(MTCEncoder, CyclesWrapAtMidnightBothWays) {
    RecordingEncoder r;
    r.encoder.locate(at(TFR::_30, {.h = 23, .m = 59, .s = 59, .f = 28}), Behavior::never);
    r.encoder.setMTCQuarterFrame(7);
    r.encoder.increment();  // the first step only sends piece 7
    r.encoder.increment();
    EXPECT_EQ(r.encoder.mtcComponents(), (Timecode::Components{}));
    EXPECT_EQ(r.encoder.mtcQuarterFrame(), 0);
    EXPECT_EQ(r.take(), (Bytes{0xF1, 0x77, 0xF1, 0x00}));
    r.encoder.decrement();
    EXPECT_EQ(r.encoder.mtcComponents(), (Timecode::Components{0, 23, 59, 59, 28, 0}));
    EXPECT_EQ(r.encoder.mtcQuarterFrame(), 7);
}

TEST(MTCEncoder, FullFramesSentAsTheLocateBehaviorSays) {
    RecordingEncoder r;
    const Timecode tc = at(TFR::_25, {.h = 2, .f = 4});
    r.encoder.locate(tc, Behavior::ifDifferent);
    r.encoder.locate(tc, Behavior::ifDifferent);
    EXPECT_EQ(r.sent.size(), 1u);
    r.encoder.increment();
    r.encoder.locate(tc, Behavior::ifDifferent);
    EXPECT_EQ(r.sent.size(), 3u);
    r.encoder.locate(tc, Behavior::never);
    r.encoder.locate(tc, Behavior::always);
    EXPECT_EQ(r.sent.size(), 4u);

    // Without a handler everything still moves.
    MTCEncoder silent;
    silent.locate(tc, Behavior::always);
    silent.increment();
    silent.increment();
    EXPECT_EQ(silent.mtcQuarterFrame(), 1);
    ASSERT_TRUE(!silent.lastTransmitFullFrame());
}

TEST(MTCEncoder, ValuesMTCCannotCarry) {
    RecordingEncoder r;
    r.encoder.locate(at(TFR::_30, {.h = 1, .f = 2}), Behavior::never);
    const Timecode::Components bad[] = {
        {.h = 256}, {.m = -1}, {.s = 1000}, {.f = std::numeric_limits<int64_t>::max()}, {.d = -5}};
    for (const auto& c : bad) {
        EXPECT_THROW(r.encoder.locate(c, TFR::_120, Behavior::always), MTCError);
        EXPECT_THROW(r.encoder.setMTCComponents(c), MTCError);
    }
    EXPECT_THROW(r.encoder.setMTCQuarterFrame(8), MTCError);
    EXPECT_EQ(r.encoder.localFrameRate(), TFR::_30);  // nothing changed
    EXPECT_EQ(r.encoder.mtcComponents().h, 1);
    EXPECT_TRUE(r.sent.empty());

    // Minutes of 128 fit the encoder but not seven bits: the full frame becomes active sensing;
    // an invalid cycle position does not step.
    r.encoder.setMTCComponents({.m = 128});
    r.encoder.sendFullFrameMIDIMessage();
    EXPECT_EQ(r.take(), (Bytes{0xFE}));
    r.encoder.setMTCQuarterFrame(7);
    r.encoder.increment();
    r.encoder.increment();
    EXPECT_EQ(r.encoder.mtcQuarterFrame(), 7);
    EXPECT_EQ(r.take(), (Bytes{0xF1, 0x76}));
}

TEST(MTCDecoder, QuarterFrameStreamVectors) {
    // Pieces of 01:00:00:00, then of 01:00:00:02, at 30 fps.
    const Bytes first{0x00, 0x10, 0x20, 0x30, 0x40, 0x50, 0x61, 0x76};
    const Bytes second{0x02, 0x10, 0x20, 0x30, 0x40, 0x50, 0x61, 0x76};
    const struct {
        std::optional<TFR> local;
        std::vector<int64_t> frames;  // reported for pieces 0-7 of the second cycle
        TFR rate;
    } cases[] = {
        {std::nullopt, {2, 2, 2, 2, 3, 3, 3, 3}, TFR::_30},
        {TFR::_30, {2, 2, 2, 2, 3, 3, 3, 3}, TFR::_30},
        {TFR::_60, {4, 4, 5, 5, 6, 6, 7, 7}, TFR::_60},
        {TFR::_25, {2, 2, 2, 2, 3, 3, 3, 3}, TFR::_30},  // not carried at mtc30: unscaled
    };
    for (const auto& c : cases) {
        RecordingDecoder d(c.local);
        for (uint8_t b : first) d.decoder.midiIn(quarterFrame(b));
        EXPECT_TRUE(d.reports.empty());
        for (uint8_t b : second) d.decoder.midiIn(quarterFrame(b));
        ASSERT_EQ(d.reports.size(), 8u);
        for (size_t i = 0; i < 8; ++i) {
            const Report& rep = d.reports[i];
            EXPECT_EQ(rep.components, (Timecode::Components{0, 1, 0, 0, c.frames[i], 0})) << i;
            EXPECT_EQ(rep.rate, c.rate);
            EXPECT_EQ(rep.type, MTCMessageType::quarterFrame);
            EXPECT_EQ(rep.direction, MTCDirection::forwards);
            EXPECT_EQ(rep.displayNeedsUpdate, i == 0 || c.frames[i] != c.frames[i - 1]) << i;
        }
        EXPECT_TRUE(d.rateChanges.empty());  // mtc30 from the start
    }
}

TEST(MTCDecoder, OutOfOrderPieceKeepsTheCaptureAndRateChangesOnce) {
    RecordingDecoder d;
    for (uint8_t b : Bytes{0x00, 0x10, 0x20, 0x30, 0x40, 0x50, 0x61, 0x76, 0x02}) d.decoder.midiIn(quarterFrame(b));
    ASSERT_EQ(d.reports.size(), 1u);
    // Skip piece 1: the delta stays 6 at the next piece 0, so the capture is not refreshed.
    for (uint8_t b : Bytes{0x20, 0x30, 0x40, 0x50, 0x61, 0x76, 0x04}) d.decoder.midiIn(quarterFrame(b));
    EXPECT_EQ(d.reports.back().components.f, 2);
    EXPECT_EQ(d.reports[1].direction, MTCDirection::ambiguous);
    // A full cycle later the capture follows again.
    for (uint8_t b : Bytes{0x10, 0x20, 0x30, 0x40, 0x50, 0x61, 0x76, 0x06}) d.decoder.midiIn(quarterFrame(b));
    EXPECT_EQ(d.reports.back().components.f, 6);

    // Piece 7 with rate code 1 (25 fps), repeated: one notice.
    d.decoder.midiIn(quarterFrame(0x72));
    d.decoder.midiIn(quarterFrame(0x72));
    EXPECT_EQ(d.rateChanges, (std::vector<MTCFrameRate>{MTCFrameRate::mtc25}));
}

TEST(MTCDecoder, FullFrames) {
    const auto fullFrame = universalSysEx;
    RecordingDecoder d(TFR::_25);
    d.decoder.midiIn(fullFrame({0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x61, 0x02, 0x03, 0x04, 0xF7}));
    d.decoder.midiIn(fullFrame({0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x61, 0x02, 0x03, 0x04, 0xF7}));
    // Ignored: another device ID, three data bytes, non-real time, another sub-ID.
    d.decoder.midiIn(fullFrame({0xF0, 0x7F, 0x00, 0x01, 0x01, 0x61, 0x02, 0x03, 0x04, 0xF7}));
    d.decoder.midiIn(fullFrame({0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x61, 0x02, 0x03, 0xF7}));
    d.decoder.midiIn(fullFrame({0xF0, 0x7E, 0x7F, 0x01, 0x01, 0x61, 0x02, 0x03, 0x04, 0xF7}));
    d.decoder.midiIn(fullFrame({0xF0, 0x7F, 0x7F, 0x01, 0x02, 0x61, 0x02, 0x03, 0x04, 0xF7}));
    ASSERT_EQ(d.reports.size(), 2u);
    // The local rate 25 is not carried at mtc30: the frames come at 30 as sent.
    EXPECT_EQ(d.reports[0].components, (Timecode::Components{0, 1, 2, 3, 4, 0}));
    EXPECT_EQ(d.reports[0].rate, TFR::_30);
    EXPECT_EQ(d.reports[0].type, MTCMessageType::fullFrame);
    EXPECT_TRUE(d.reports[0].displayNeedsUpdate);
    EXPECT_FALSE(d.reports[1].displayNeedsUpdate);
    EXPECT_EQ(d.decoder.mtcFrameRate(), MTCFrameRate::mtc30);
    EXPECT_EQ(d.decoder.timecode().stringValue(), "01:02:03:04");

    // 29.97d at a local 59.94d: frames doubled.
    RecordingDecoder drop(TFR::_59_94_drop);
    drop.decoder.midiIn(fullFrame({0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x40, 0x01, 0x00, 0x02, 0xF7}));
    ASSERT_EQ(drop.reports.size(), 1u);
    EXPECT_EQ(drop.reports[0].components.f, 4);
    EXPECT_EQ(drop.rateChanges, (std::vector<MTCFrameRate>{MTCFrameRate::mtc2997d}));
}

TEST(MTCCodec, EncoderToDecoderRoundTripsAtEveryRate) {
    // Random positions at every rate, streamed for three cycles forwards: from the ninth piece on
    // the decoder reports the encoder's own position, piece by piece.
    std::mt19937_64 random(20261207);
    for (TFR rate : TFR::allCases()) {
        for (int trial = 0; trial < 40; ++trial) {
            const int64_t total = static_cast<int64_t>(random() % static_cast<uint64_t>(rate.maxTotalFrames(
                                                                      timecode::UpperLimit::_24hours)));
            const Timecode start = Timecode::fromFrameCount(Timecode::FrameCount::Value::frames(total), rate,
                                                            timecode::UpperLimit::_24hours,
                                                            timecode::SubFramesBase::_100SubFrames);
            RecordingDecoder d(rate);
            MTCEncoder encoder([&](const std::vector<MIDIEvent>& events) { d.decoder.midiIn(events); });
            encoder.locate(start, Behavior::never);
            SCOPED_TRACE(std::string(rate.rawValue()) + " " + start.stringValue());
            for (int piece = 0; piece < 24; ++piece) {
                encoder.increment();
                if (d.reports.empty()) continue;
                const Timecode expected = encoder.timecode();
                const Report& rep = d.reports.back();
                ASSERT_EQ(rep.rate, rate);
                ASSERT_EQ(rep.components, expected.components()) << "piece " << piece;
            }
            EXPECT_GE(d.reports.size(), 8u);
        }
    }
}
