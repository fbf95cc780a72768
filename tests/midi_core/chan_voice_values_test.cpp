#include "midi_core/chan_voice_values.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace midicore {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

using V16 = ChanVoice7Bit16BitValue;
using V32 = ChanVoice7Bit32BitValue;
using V14 = ChanVoice14Bit32BitValue;
using VN = ChanVoice32BitValue;

TEST(ChanVoiceValueTest, AccessorsConvertFromEveryForm) {
    EXPECT_EQ(V16::midi1(UInt7(64)).unitIntervalValue(), 0.5);
    EXPECT_EQ(V16::midi1(UInt7(96)).unitIntervalValue(), 0.7539682539705822);
    EXPECT_EQ(V16::midi1(UInt7(127)).unitIntervalValue(), 1.0);
    EXPECT_EQ(V16::midi1(UInt7(65)).midi2Value(), 0x8208);
    EXPECT_EQ(V16::midi2(0xFE00).midi1Value(), 127);
    EXPECT_EQ(V16::unitInterval(0.5).midi1Value(), 64);
    EXPECT_EQ(V16::unitInterval(0.5).midi2Value(), 0x8000);
    EXPECT_EQ(V16::unitInterval(1.7).unitIntervalValue(), 1.0);

    EXPECT_EQ(V32::midi2(0xFFFFFFFF).unitIntervalValue(), 1.0);
    EXPECT_EQ(V32::midi1(UInt7(65)).midi2Value(), 0x82082082u);
    EXPECT_EQ(V32::midi2(0x82082082).midi1Value(), 65);
    EXPECT_EQ(V32::unitInterval(0.75).midi2Value(), 0xBFFFFFFFu);

    struct BipolarCase {
        double bipolar;
        unsigned midi1;
        uint32_t midi2;
    };
    for (const BipolarCase& c : {BipolarCase{0.0, 8192, 0x80000000}, BipolarCase{-1.0, 0, 0},
                                 BipolarCase{1.0, 16383, 0xFFFFFFFF}}) {
        const V14 v = V14::bipolarUnitInterval(c.bipolar);
        EXPECT_EQ(v.midi1Value(), c.midi1) << c.bipolar;
        EXPECT_EQ(v.midi2Value(), c.midi2) << c.bipolar;
        EXPECT_EQ(v.bipolarUnitIntervalValue(), c.bipolar);
    }
    EXPECT_EQ(V14::bipolarUnitInterval(-1.0).unitIntervalValue(), 0.0);
    EXPECT_EQ(V14::unitInterval(0.75).bipolarUnitIntervalValue(), 0.5);
    EXPECT_EQ(V14::midi1(UInt14(4096)).bipolarUnitIntervalValue(), -0.5);
    EXPECT_EQ(V14::midi2(0x40000000).bipolarUnitIntervalValue(), -0.5);
    EXPECT_EQ(V14::midi2(0xFFFFFFFF).midi1Value(), 16383);
    EXPECT_EQ(V14::midi1(UInt14(16383)).midi2Value(), 0xFFFFFFFFu);
    EXPECT_EQ(V14::midi1(UInt14(8192)).unitIntervalValue(), 0.5);

    EXPECT_EQ(VN::midi1SevenBit(UInt7(65)).midi2Value(), 0x82082082u);
    EXPECT_EQ(VN::midi1SevenBit(UInt7(65)).valueCase(), VN::Case::midi2);
    EXPECT_EQ(VN::midi1FourteenBit(UInt14(16383)).midi2Value(), 0xFFFFFFFFu);
    EXPECT_EQ(VN::midi2(0x82082082).midi1_7BitValue(), 65);
    EXPECT_EQ(VN::midi2(0xFFFFFFFF).midi1_14BitValue(), 16383);
    EXPECT_EQ(VN::unitInterval(0.5).midi1_14BitValue(), 8192);
    EXPECT_EQ(VN::unitInterval(0.25).midi1_7BitValue(), 32);
    EXPECT_EQ(VN::midi2(0x80000000).unitIntervalValue(), 0.5);
}

TEST(ChanVoiceValueTest, EqualityConvertsOneSideAndIsNotSymmetricBetweenIntegers) {
    // midi2 on the left narrows to 127; midi1 on the right stays 127.
    EXPECT_TRUE(V16::midi2(0xFE00) == V16::midi1(UInt7(127)));
    // midi1 on the left widens to 0xFFFF.
    EXPECT_FALSE(V16::midi1(UInt7(127)) == V16::midi2(0xFE00));
    EXPECT_TRUE(V16::midi1(UInt7(127)) != V16::midi2(0xFE00));
    // A fraction goes to the integer's width, on either side.
    EXPECT_EQ(V16::unitInterval(0.5), V16::midi1(UInt7(64)));
    EXPECT_EQ(V16::midi1(UInt7(64)), V16::unitInterval(0.5));
    EXPECT_EQ(V16::unitInterval(0.5), V16::midi2(0x8000));
    EXPECT_EQ(V16::unitInterval(1.7), V16::midi1(UInt7(127)));
    EXPECT_NE(V16::unitInterval(1.7), V16::unitInterval(1.0));  // same form: payloads compared
    EXPECT_EQ(V16::unitInterval(-0.0), V16::unitInterval(0.0));
    EXPECT_NE(V16::unitInterval(nan), V16::unitInterval(nan));
    EXPECT_EQ(V14::bipolarUnitInterval(0.0), V14::midi1(UInt14(8192)));
    EXPECT_EQ(V14::bipolarUnitInterval(0.0), V14::unitInterval(0.5));
    EXPECT_EQ(V14::unitInterval(0.5), V14::bipolarUnitInterval(0.0));
    EXPECT_EQ(VN::unitInterval(0.5), VN::midi2(0x80000000));
    EXPECT_NE(VN::unitInterval(0.5), VN::midi2(0x80000001));
}

// The equality chains that make the hashes as coarse as they are.
TEST(ChanVoiceValueTest, FractionsLinkNeighbouringIntegers) {
    // Above the centre the 7-bit and the 16-bit scaling of one fraction narrow differently.
    const V16 fraction = V16::unitInterval(0.995);
    EXPECT_EQ(fraction, V16::midi1(UInt7(126)));
    EXPECT_EQ(fraction, V16::midi2(65207));
    EXPECT_EQ(V16::midi2(65207), V16::midi1(UInt7(127)));
    // Below the centre of a pitch bend the 14-bit and 32-bit bipolar scalings do.
    const V14 bend = V14::bipolarUnitInterval(-0.3);
    EXPECT_EQ(bend, V14::midi1(UInt14(5735)));
    EXPECT_EQ(bend, V14::midi2(1503238554));
    EXPECT_EQ(V14::midi2(1503238554), V14::midi1(UInt14(5734)));
}

// Every form of a sample of values, for the hash property.
template <class Value>
std::vector<Value> samples();

template <>
std::vector<V16> samples() {
    std::vector<V16> out;
    for (int v = 0; v < 128; ++v)
        out.push_back(V16::midi1(UInt7(v)));
    for (uint32_t v = 0; v < 65536; v += 37)
        out.push_back(V16::midi2(static_cast<uint16_t>(v)));
    for (int i = -20; i <= 1020; ++i)
        out.push_back(V16::unitInterval(i / 1000.0));
    for (double x : {-0.0, nan, inf, -inf, 0.995, 0.4999})
        out.push_back(V16::unitInterval(x));
    return out;
}

template <>
std::vector<V32> samples() {
    std::vector<V32> out;
    std::mt19937 random(3);
    for (int v = 0; v < 128; ++v)
        out.push_back(V32::midi1(UInt7(v)));
    for (int i = 0; i < 3000; ++i)
        out.push_back(V32::midi2(random()));
    for (int i = -20; i <= 1020; ++i)
        out.push_back(V32::unitInterval(i / 1000.0));
    for (double x : {-0.0, nan, inf, -inf})
        out.push_back(V32::unitInterval(x));
    return out;
}

template <>
std::vector<V14> samples() {
    std::vector<V14> out;
    std::mt19937 random(5);
    for (int v = 0; v < 16384; v += 7)
        out.push_back(V14::midi1(UInt14(v)));
    for (int i = 0; i < 2000; ++i)
        out.push_back(V14::midi2(random()));
    for (int i = -1020; i <= 1020; ++i) {
        out.push_back(V14::unitInterval(i / 1000.0));
        out.push_back(V14::bipolarUnitInterval(i / 1000.0));
    }
    for (double x : {-0.0, nan, inf, -inf}) {
        out.push_back(V14::unitInterval(x));
        out.push_back(V14::bipolarUnitInterval(x));
    }
    return out;
}

template <>
std::vector<VN> samples() {
    std::vector<VN> out;
    std::mt19937 random(9);
    for (int i = 0; i < 3000; ++i)
        out.push_back(VN::midi2(random()));
    for (int i = -20; i <= 1020; ++i)
        out.push_back(VN::unitInterval(i / 1000.0));
    for (double x : {-0.0, nan, inf, -inf})
        out.push_back(VN::unitInterval(x));
    return out;
}

template <class Value>
class ChanVoiceHashTest : public testing::Test {};
using ValueTypes = testing::Types<V16, V32, V14, VN>;
TYPED_TEST_SUITE(ChanVoiceHashTest, ValueTypes);

// Each sample is compared with itself in every other form (the values it is most likely to equal)
// and with its neighbours in the sample list; whenever two compare equal, in either order, their
// hashes must agree.
TYPED_TEST(ChanVoiceHashTest, EqualValuesHashEqually) {
    using Value = TypeParam;
    using Case = typename Value::Case;
    const std::vector<Value> values = samples<Value>();
    int equalPairs = 0;
    auto check = [&](const Value& a, const Value& b) {
        if (a == b) {
            ++equalPairs;
            ASSERT_EQ(a.hash(), b.hash());
            ASSERT_EQ(typename Value::Validated(a).hash(), typename Value::Validated(b).hash());
        }
    };
    for (size_t i = 0; i < values.size(); ++i) {
        const Value& a = values[i];
        for (int c = 0; c <= static_cast<int>(Case::midi2); ++c) {
            const Value b = a.inForm(static_cast<Case>(c));
            check(a, b);
            check(b, a);
        }
        for (size_t j = i + 1; j < values.size() && j < i + 40; ++j) {
            check(a, values[j]);
            check(values[j], a);
        }
    }
    EXPECT_GT(equalPairs, static_cast<int>(values.size()));
}

TEST(ChanVoiceValueTest, DistinctSevenBitValuesBelowTheCentreHashApart) {
    EXPECT_NE(V16::midi1(UInt7(10)).hash(), V16::midi1(UInt7(11)).hash());
    EXPECT_NE(V32::midi1(UInt7(0)).hash(), V32::midi1(UInt7(64)).hash());
    EXPECT_NE(VN::midi2(1).hash(), VN::midi2(2).hash());
}

TEST(ValidatedValueTest, ConstructionKeepsTheValueAndAssignmentClampsFractions) {
    V16::Validated velocity(V16::unitInterval(1.7));
    EXPECT_EQ(velocity.value().valueCase(), V16::Case::unitInterval);
    EXPECT_EQ(velocity.value().midi1Value(), 127);  // still encodes as the maximum
    EXPECT_NE(velocity, V16::Validated(V16::unitInterval(1.0)));
    velocity.set(V16::unitInterval(1.7));
    EXPECT_EQ(velocity, V16::Validated(V16::unitInterval(1.0)));

    velocity.set(V16::unitInterval(-0.0));
    EXPECT_EQ(velocity.value().unitIntervalValue(), 0.0);
    EXPECT_FALSE(std::signbit(velocity.value().unitIntervalValue()));
    velocity.set(V16::unitInterval(nan));
    EXPECT_EQ(velocity.value().unitIntervalValue(), 0.0);

    velocity.set(V16::midi2(0xFFFF));
    velocity.modify([](V16& v) { v = V16::unitInterval(-3.0); });
    EXPECT_EQ(velocity, V16::Validated(V16::unitInterval(0.0)));

    V14::Validated bend(V14::bipolarUnitInterval(-2.0));
    EXPECT_EQ(bend.value().midi1Value(), 0);
    bend.set(V14::bipolarUnitInterval(-2.0));
    EXPECT_EQ(bend.value().bipolarUnitIntervalValue(), -1.0);
    bend.set(V14::bipolarUnitInterval(inf));
    EXPECT_EQ(bend.value().bipolarUnitIntervalValue(), 1.0);
    bend.set(V14::midi1(UInt14(5)));
    EXPECT_EQ(bend.value().midi1Value(), 5);

    VN::Validated perNote(VN::unitInterval(2.0));
    perNote.set(VN::unitInterval(2.0));
    EXPECT_EQ(perNote.value().unitIntervalValue(), 1.0);
}

TEST(ChanVoiceValueTest, NonFinitePayloadsGiveDefinedResults) {
    for (double x : {nan, -nan, inf, -inf}) {
        const bool high = x == inf;
        EXPECT_EQ(V16::unitInterval(x).midi1Value(), high ? 127 : 0) << x;
        EXPECT_EQ(V16::unitInterval(x).midi2Value(), high ? 0xFFFF : 0) << x;
        EXPECT_EQ(V32::unitInterval(x).midi2Value(), high ? 0xFFFFFFFF : 0) << x;
        EXPECT_EQ(V14::unitInterval(x).midi1Value(), high ? 16383 : 0) << x;
        EXPECT_EQ(V14::bipolarUnitInterval(x).midi1Value(), high ? 16383 : 0) << x;
        EXPECT_EQ(V14::bipolarUnitInterval(x).midi2Value(), high ? 0xFFFFFFFF : 0) << x;
        EXPECT_EQ(V14::unitInterval(x).bipolarUnitIntervalValue(), high ? 1.0 : -1.0) << x;
        EXPECT_EQ(VN::unitInterval(x).midi1_7BitValue(), high ? 127 : 0) << x;
        EXPECT_EQ(VN::unitInterval(x).unitIntervalValue(), high ? 1.0 : 0.0) << x;
    }
}

}  // namespace
}  // namespace midicore
