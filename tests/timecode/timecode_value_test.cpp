// The timecode value: policies, frame counting, real time and arithmetic, on the examples the
// timecode rules give.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "timecode/timecode.hpp"

using namespace timecode;
using R = TimecodeFrameRate;
using V = FrameCount::Value;
using LB = Timecode::LimitBehavior;
using C = Components;

namespace {
const auto L24 = UpperLimit::_24hours;
const auto L100 = UpperLimit::_100days;
const auto B80 = SubFramesBase::_80SubFrames;
const auto B100 = SubFramesBase::_100SubFrames;
}  // namespace

TEST(TimecodeCounting, ComponentsAndCountsBothWays) {
    struct Case {
        R rate;
        C c;
        int64_t frames;
    } cases[] = {
        {R::_29_97_drop, {0, 0, 10, 0, 0, 0}, 17982},  {R::_29_97_drop, {0, 0, 1, 0, 2, 0}, 1800},
        {R::_29_97_drop, {0, 0, 0, 59, 29, 0}, 1799},  {R::_29_97_drop, {0, 1, 0, 0, 0, 0}, 107892},
        {R::_59_94_drop, {0, 0, 1, 0, 4, 0}, 3600},    {R::_24, {0, 1, 0, 0, 0, 0}, 86400},
        {R::_119_88_drop, {0, 0, 0, 59, 119, 0}, 7199}, {R::_119_88_drop, {0, 0, 1, 0, 8, 0}, 7200},
        {R::_30, {1, 0, 0, 0, 0, 0}, 2592000},         {R::_29_97_drop, {1, 0, 0, 0, 0, 0}, 2589408},
    };
    for (const auto& k : cases) {
        auto tc = Timecode::fromComponents(k.c, k.rate, L100);
        EXPECT_EQ(tc.frameCount().wholeFrames(), k.frames) << tc.stringValue();
        EXPECT_EQ(Timecode::components(V::frames(k.frames), B80, k.rate), k.c) << k.frames;
    }
    EXPECT_EQ(Timecode::components(V::combined(2.5), B80, R::_24), (C{0, 0, 0, 0, 2, 40}));
    EXPECT_EQ(Timecode::components(V::frames(-1), B80, R::_24), (C{0, 0, 0, 0, -1, 0}));
    EXPECT_EQ(Timecode::components(V::frames(-90), B80, R::_30), (C{0, 0, 0, -3, 0, 0}));
    EXPECT_EQ(Timecode::components(V::frames(2592000 * 100 + 5), B80, R::_30).d, 100);
    // Footage: 1 foot 3 frames is 19 frames, and back.
    auto nineteen = Timecode::fromFeetAndFrames({1, 3, 0, B80}, R::_24);
    EXPECT_EQ(nineteen.frames, 19);
    EXPECT_EQ(nineteen.feetAndFramesValue(), (FeetAndFrames{1, 3, 0, B80}));
    EXPECT_EQ(Timecode::rawValues(V::frames(-19), R::_24).feetAndFramesValue(), (FeetAndFrames{-1, -3, 0, B80}));
    // A count in base 100 applied to a timecode of base 80 converts its subframes.
    Timecode t(R::_24);
    t.set(FrameCount(V::split(10, 50), B100));
    EXPECT_EQ(t.components(), (C{0, 0, 0, 0, 10, 40}));
}

TEST(TimecodeCounting, LimitsOfValidatingCounts) {
    for (auto rate : R::allCases()) {
        for (auto limit : allUpperLimits) {
            for (auto base : allSubFramesBases) {
                Timecode t(rate, limit, base);
                V last = V::split(rate.maxFrameIndex(limit), maxSubFrames(base));
                EXPECT_NO_THROW(t.set(last)) << rate.rawValue();
                EXPECT_TRUE(t.invalidComponents().empty()) << rate.rawValue();
                EXPECT_EQ(t.frameCount().subFrameCount(), t.maxSubFrameCountExpressible());
                EXPECT_THROW(t.set(V::split(rate.maxTotalFrames(limit), 0)), TimecodeValidationError);
                EXPECT_THROW(t.set(V::split(0, -1)), TimecodeValidationError);
            }
        }
    }
}

TEST(TimecodePolicies, BuildingUnderEachPolicy) {
    // Wrapping and clamping work on the total; clamping each works per component.
    EXPECT_EQ(Timecode::wrapping(C{0, 25, 0, 0, 0, 0}, R::_24).components(), (C{0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(Timecode::wrapping(C{0, 0, 0, 0, -1, 0}, R::_24).components(), (C{0, 23, 59, 59, 23, 0}));
    EXPECT_EQ(Timecode::wrapping(C{100, 0, 0, 0, 1, 0}, R::_24, L100).components(), (C{0, 0, 0, 0, 1, 0}));
    EXPECT_EQ(Timecode::wrapping(C{0, 0, 0, 0, -1, 0}, R::_24, L100).components(), (C{99, 23, 59, 59, 23, 0}));
    EXPECT_EQ(Timecode::clamping(C{0, 25, 0, 0, 0, 0}, R::_24).components(), (C{0, 23, 59, 59, 23, 79}));
    EXPECT_EQ(Timecode::clamping(C{0, -1, 0, 0, 0, 0}, R::_24).components(), C{});
    EXPECT_EQ(Timecode::clampingEach(C{5, 30, -3, 75, 0, 120}, R::_29_97_drop).components(),
              (C{0, 23, 0, 59, 0, 79}));
    EXPECT_EQ(Timecode::clampingEach(C{0, 0, 1, 0, 0, 0}, R::_59_94_drop).frames, 4);
    EXPECT_EQ(Timecode::rawValues(C{0, 99, 0, 0, 0, 0}, R::_24).hours, 99);
    EXPECT_THROW(Timecode::fromComponents(C{0, 0, 1, 0, 0, 0}, R::_29_97_drop), TimecodeValidationError);
    // Wrapping a negative drop-frame count lands on the same position as counting back from the end.
    EXPECT_EQ(Timecode::wrapping(V::frames(-1800), R::_29_97_drop).frameCount().wholeFrames(), 2589408 - 1800);
    // A setter that throws leaves the timecode as it was.
    auto tc = Timecode::fromComponents(C{0, 1, 2, 3, 4, 0}, R::_25);
    EXPECT_THROW(tc.set(C{0, 24, 0, 0, 0, 0}), TimecodeValidationError);
    EXPECT_THROW(tc.set(RealTime{-1}), TimecodeValidationError);
    EXPECT_EQ(tc.components(), (C{0, 1, 2, 3, 4, 0}));
    // Text goes through the parser first.
    EXPECT_EQ(Timecode::fromString("01:02:03;04", R::_29_97_drop).components(), (C{0, 1, 2, 3, 4, 0}));
    EXPECT_EQ(Timecode::wrapping(std::string_view("25:00:00:00"), R::_24).hours, 1);
    EXPECT_THROW(Timecode::fromString("01:02:03", R::_24), TimecodeStringParseError);
}

TEST(TimecodeRealTime, SecondsSamplesAndRationals) {
    EXPECT_DOUBLE_EQ(Timecode::fromComponents(C{0, 0, 0, 1, 0, 0}, R::_29_97).realTimeValue(), 1.001);
    EXPECT_EQ(Timecode::fromComponents(C{0, 0, 0, 1, 0, 0}, R::_30_drop).realTimeValue(), 1.0);
    EXPECT_DOUBLE_EQ(Timecode::fromComponents(C{0, 0, 1, 0, 2, 0}, R::_29_97_drop).realTimeValue(), 60.06);
    EXPECT_EQ(Timecode::fromRealTime(1.001, R::_29_97).components(), (C{0, 0, 0, 1, 0, 0}));
    EXPECT_THROW(Timecode::fromRealTime(86400, R::_24), TimecodeValidationError);
    EXPECT_EQ(Timecode::fromRealTime(86400, R::_24, L100).days, 1);
    EXPECT_EQ(Timecode::wrapping(RealTime{-1.0 / 24}, R::_24).components(), (C{0, 23, 59, 59, 23, 0}));
    auto second = Timecode::fromSamples(48000, 48000, R::_25);
    EXPECT_EQ(second.components(), (C{0, 0, 0, 1, 0, 0}));
    EXPECT_EQ(second.samplesValueRounded(48000), 48000);
    EXPECT_EQ(Timecode::fromRational(Fraction(1001, 30000), R::_29_97).frames, 1);
    EXPECT_EQ(Timecode::fromRational(Fraction(1001, 60000), R::_29_97).components(), (C{0, 0, 0, 0, 0, 40}));
    EXPECT_EQ(Timecode::rawValues(Fraction(1001, 60000), R::_29_97).components(), C{});
    EXPECT_EQ(Timecode::fromMediaTime(MediaTime::make(3, 2), R::_24).components(), (C{0, 0, 0, 1, 12, 0}));
    EXPECT_EQ(Timecode::fromComponents(C{0, 0, 0, 1, 12, 0}, R::_24).rationalValue(), Fraction(3, 2));
    EXPECT_EQ(Timecode(R::_24).rationalValue(), Fraction(0, 1));
    EXPECT_EQ(Timecode::fromComponents(C{0, 0, 0, 1, 12, 0}, R::_24).mediaTimeValue(), MediaTime::make(3, 2));

    // Inputs with no timecode give the out-of-bounds error under every policy that counts.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_THROW(Timecode::fromRealTime(nan, R::_24), TimecodeValidationError);
    EXPECT_THROW(Timecode::wrapping(RealTime{inf}, R::_24), TimecodeValidationError);
    EXPECT_THROW(Timecode::clamping(RealTime{1e300}, R::_24), TimecodeValidationError);
    EXPECT_THROW(Timecode::fromSamples(1, 0, R::_24), TimecodeValidationError);
    EXPECT_THROW(Timecode::fromRational(Fraction(1, 0), R::_24), TimecodeValidationError);
    EXPECT_THROW(Timecode::wrapping(Fraction(1, 0), R::_24), TimecodeValidationError);
    EXPECT_THROW(Timecode::fromMediaTime(MediaTime::make(1, 0), R::_24), TimecodeValidationError);
    EXPECT_THROW(Timecode::rawValues(MediaTime::indefinite(), R::_24), TimecodeValidationError);
    EXPECT_THROW(Timecode::rawValues(Fraction(std::numeric_limits<int64_t>::max(), 1), R::_120), TimecodeValidationError);
    EXPECT_THROW(Timecode::rawValues(C{std::numeric_limits<int64_t>::max(), 0, 0, 0, 0, 0}, R::_24).frameCount(),
                 TimecodeValidationError);
}

TEST(TimecodeArithmetic, ExactClampingAndWrapping) {
    auto at24 = [](C c) { return Timecode::rawValues(c, R::_24); };
    const auto last = at24({0, 23, 59, 59, 23, 0});
    const C oneFrame{0, 0, 0, 0, 1, 0};
    EXPECT_EQ(last.adding(oneFrame, LB::wrapping).components(), C{});
    EXPECT_EQ(last.adding(oneFrame, LB::clamping).components(), (C{0, 23, 59, 59, 23, 79}));
    EXPECT_THROW(last.adding(oneFrame, LB::exactly), TimecodeValidationError);
    EXPECT_EQ(at24({}).subtracting(oneFrame, LB::wrapping).components(), (C{0, 23, 59, 59, 23, 0}));
    EXPECT_EQ(at24({}).subtracting(C{0, 24, 0, 0, 0, 0}, LB::wrapping).components(), C{});
    EXPECT_EQ(Timecode::rawValues(C{0, 0, 0, 59, 29, 0}, R::_29_97_drop).adding(oneFrame, LB::exactly).components(),
              (C{0, 0, 1, 0, 2, 0}));

    const auto second = at24({0, 0, 0, 1, 0, 0});
    EXPECT_EQ(second.multiplying(1.5, LB::exactly).components(), (C{0, 0, 0, 1, 12, 0}));
    EXPECT_EQ(second.dividing(3, LB::exactly).components(), (C{0, 0, 0, 0, 8, 0}));
    EXPECT_EQ(second.multiplying(-1, LB::wrapping).components(), (C{0, 23, 59, 59, 0, 0}));
    EXPECT_EQ(second.multiplying(-1, LB::clamping).components(), C{});
    EXPECT_THROW(second.multiplying(1e9, LB::exactly), TimecodeValidationError);
    EXPECT_EQ((second * 2).seconds, 2);
    EXPECT_EQ(second.multiplying(std::numeric_limits<double>::infinity(), LB::clamping).components(),
              (C{0, 23, 59, 59, 23, 79}));
    EXPECT_THROW(second.multiplying(std::numeric_limits<double>::quiet_NaN(), LB::clamping), TimecodeValidationError);
    EXPECT_THROW(second.dividing(0, LB::wrapping), TimecodeValidationError);
    EXPECT_THROW(at24({}).dividing(0, LB::exactly), TimecodeValidationError);

    auto upper = Timecode::rawValues(C{0, 0, 0, 0, 0, 0}, R::_24, L100);
    EXPECT_EQ(upper.adding(C{200, 0, 0, 0, 0, 0}, LB::clamping).components(), (C{99, 23, 59, 59, 23, 79}));
    // Totals beyond 64 bits are out of bounds, not undefined.
    EXPECT_THROW(at24({}).adding(C{std::numeric_limits<int64_t>::max() / 2, 0, 0, 0, 0, 0}, LB::wrapping),
                 TimecodeValidationError);
}

TEST(TimecodeArithmetic, OperandsAtOtherRatesOffsetsRoundingAndEquality) {
    auto h1at24 = Timecode::fromComponents(C{0, 1, 0, 0, 0, 0}, R::_24);
    auto s1at25 = Timecode::fromComponents(C{0, 0, 0, 1, 0, 0}, R::_25);
    EXPECT_EQ((h1at24 - s1at25).components(), (C{0, 0, 59, 59, 0, 0}));
    // A right operand whose real time lies beyond 24 hours at the left rate still counts.
    auto late2997 = Timecode::fromComponents(C{0, 23, 59, 59, 29, 0}, R::_29_97);
    auto zero30 = Timecode(R::_30);
    EXPECT_FALSE((zero30 + late2997).isZero());
    // 2591999 frames of 1001/30000 s are 2594590.999 frames at 30 fps, wrapped past 24 hours.
    EXPECT_EQ((zero30 + late2997).components(), (C{0, 0, 1, 26, 10, 79}));

    auto off = h1at24.offset(Timecode::fromComponents(C{0, 0, 59, 0, 0, 0}, R::_24));
    EXPECT_EQ(off.absoluteInterval.components(), (C{0, 0, 1, 0, 0, 0}));
    EXPECT_TRUE(off.isNegative());
    auto self = h1at24.offset(h1at24);
    EXPECT_TRUE(self.absoluteInterval.isZero());
    EXPECT_FALSE(self.isNegative());
    auto across = zero30.offset(late2997);
    EXPECT_FALSE(across.isNegative());
    EXPECT_FALSE(across.absoluteInterval.isZero());
    EXPECT_EQ(zero30.offsetting(across), zero30 + late2997);

    struct Round {
        R rate;
        C in;
        Component to;
        bool up;
        C out;
    } rounds[] = {
        {R::_24, {0, 0, 10, 20, 5, 0}, Component::minutes, true, {0, 0, 11, 0, 0, 0}},
        {R::_24, {0, 0, 10, 0, 0, 0}, Component::minutes, true, {0, 0, 10, 0, 0, 0}},
        {R::_24, {0, 1, 59, 59, 23, 0}, Component::hours, false, {0, 1, 0, 0, 0, 0}},
        // Drop rates never land on a skipped frame number.
        {R::_29_97_drop, {0, 0, 0, 59, 29, 0}, Component::minutes, true, {0, 0, 1, 0, 2, 0}},
        {R::_59_94_drop, {0, 0, 1, 0, 30, 0}, Component::seconds, false, {0, 0, 1, 0, 4, 0}},
        {R::_29_97_drop, {0, 0, 10, 0, 5, 0}, Component::seconds, false, {0, 0, 10, 0, 0, 0}},
    };
    for (const auto& r : rounds) {
        auto t = Timecode::fromComponents(r.in, r.rate);
        auto out = r.up ? t.roundedUp(r.to) : t.roundedDown(r.to);
        EXPECT_EQ(out.components(), r.out) << t.stringValue();
        EXPECT_TRUE(out.invalidComponents().empty()) << out.stringValue();
    }
    auto lastDay = Timecode::fromComponents(C{99, 1, 0, 0, 0, 0}, R::_24, L100);
    EXPECT_THROW(lastDay.roundUp(Component::days), TimecodeValidationError);
    EXPECT_EQ(lastDay.days, 99);

    EXPECT_EQ(h1at24, Timecode::fromComponents(C{0, 1, 0, 0, 0, 0}, R::_25));
    EXPECT_NE(Timecode::fromComponents(C{0, 1, 0, 0, 0, 0}, R::_29_97), Timecode::fromComponents(C{0, 1, 0, 0, 0, 0}, R::_30));
    EXPECT_LT(s1at25, h1at24);
}
