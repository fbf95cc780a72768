#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "midi_support/timespec.hpp"

// The record shares its name with the POSIX one, so the tests name it through an alias.
using Timespec = midisupport::timespec;
using midisupport::TimespecError;

namespace {

TEST(Timespec, Arithmetic) {
    const struct {
        Timespec a, b, sum, difference;
    } cases[] = {
        {{1, 999999999}, {0, 1}, {2, 0}, {1, 999999998}},
        {{5, 100}, {3, 200}, {8, 300}, {1, 999999900}},
        {{5, 200}, {3, 100}, {8, 300}, {2, 100}},
        {{0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {{0, 500000000}, {0, 500000000}, {1, 0}, {0, 0}},
        {{2, 0}, {3, 1}, {5, 1}, {-2, 999999999}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.a + c.b, c.sum) << c.a.tv_sec << "." << c.a.tv_nsec;
        EXPECT_EQ(c.a - c.b, c.difference) << c.a.tv_sec << "." << c.a.tv_nsec;
    }
}

TEST(Timespec, ComparesBySecondsThenNanoseconds) {
    EXPECT_TRUE((Timespec{2, 0} < Timespec{2, 1}));
    EXPECT_TRUE((Timespec{2, 1} >= Timespec{2, 1}));
    EXPECT_TRUE((Timespec{3, 0} == Timespec{3, 0}));
    EXPECT_TRUE((Timespec{3, 0} != Timespec{3, 1}));
    EXPECT_TRUE((Timespec{1, 999999999} < Timespec{2, 0}));
    EXPECT_FALSE((Timespec{2, 5} < Timespec{1, 999}));
}

TEST(Timespec, FromSeconds) {
    const struct {
        double seconds;
        Timespec expected;
    } cases[] = {
        {0.25, {0, 250000000}}, {2.5, {2, 500000000}},
        {0.0, {0, 0}},          {-1.5, {-1, -500000000}},  // not normalised, by definition
        {1e-9, {0, 1}},         {9.0e9, {9000000000, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Timespec(c.seconds), c.expected) << c.seconds;
    }
    EXPECT_EQ(Timespec::fromSeconds(0.5f), (Timespec{0, 500000000}));
    EXPECT_DOUBLE_EQ((Timespec{2, 500000000}).doubleValue(), 2.5);
}

TEST(Timespec, UnrepresentableSecondsAreRefused) {
    const struct {
        double seconds;
    } cases[] = {{std::numeric_limits<double>::infinity()},
                 {-std::numeric_limits<double>::infinity()},
                 {std::nan("")},
                 {1e10},
                 {-1e10}};
    for (const auto& c : cases) {
        try {
            (void)Timespec(c.seconds);
            ADD_FAILURE() << "no error for " << c.seconds;
        } catch (const TimespecError& e) {
            EXPECT_EQ(e.errorCase(), TimespecError::Case::notRepresentable);
            EXPECT_STREQ(e.what(),
                         "Double value cannot be converted to Int because it is outside the "
                         "representable range");
        }
    }
    try {
        (void)Timespec::fromSeconds(std::numeric_limits<float>::infinity());
        ADD_FAILURE();
    } catch (const TimespecError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Float value", 0), 0u);
    }
}

TEST(Timespec, OverflowIsAnErrorNotUndefinedBehaviour) {
    constexpr auto max = std::numeric_limits<int64_t>::max();
    constexpr auto min = std::numeric_limits<int64_t>::min();
    EXPECT_THROW((Timespec{max, 0} + Timespec{1, 0}), TimespecError);
    EXPECT_THROW((Timespec{max, 999999999} + Timespec{0, 1}), TimespecError);
    EXPECT_THROW((Timespec{min, 0} - Timespec{1, 0}), TimespecError);
    EXPECT_THROW((Timespec{min, 0} - Timespec{0, 1}), TimespecError);
}

TEST(Timespec, NowIsNormalisedAndNeverDecreases) {
    Timespec previous = midisupport::timespecNow();
    for (int i = 0; i < 100000; ++i) {
        const Timespec now = midisupport::timespecNow();
        ASSERT_GE(now.tv_nsec, 0);
        ASSERT_LT(now.tv_nsec, 1000000000);
        ASSERT_GE(now, previous);
        previous = now;
    }
}

}  // namespace
