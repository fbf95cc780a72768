// Every whole frame count of a day, at every rate, splits into valid components that count back
// to the same number; a sample of the frame counts of 100 days does the same.
#include <gtest/gtest.h>

#include "timecode/timecode.hpp"

using namespace timecode;

class RoundTrip : public testing::TestWithParam<size_t> {
  protected:
    static void check(TimecodeFrameRate rate, UpperLimit limit, int64_t count) {
        const Components c = Timecode::components(FrameCount::Value::frames(count), SubFramesBase::_80SubFrames, rate);
        ASSERT_TRUE(invalidComponents(c, rate, limit, SubFramesBase::_80SubFrames).empty())
            << rate.rawValue() << " count " << count;
        ASSERT_EQ(Timecode::rawValues(c, rate, limit).frameCount().wholeFrames(), count)
            << rate.rawValue() << " count " << count;
    }
};

// Each rate's day in four quarters, so that every test stays short.
class RoundTripQuarter : public RoundTrip {};

TEST_P(RoundTripQuarter, EveryFrameOfADay) {
    const TimecodeFrameRate rate = TimecodeFrameRate::allCases()[GetParam() / 4];
    const int64_t total = rate.maxTotalFrames(UpperLimit::_24hours);
    const int64_t quarter = static_cast<int64_t>(GetParam() % 4);
    const int64_t end = quarter == 3 ? total : total / 4 * (quarter + 1);
    for (int64_t n = total / 4 * quarter; n < end; ++n) check(rate, UpperLimit::_24hours, n);
}

TEST_P(RoundTrip, SampledFramesOf100Days) {
    const TimecodeFrameRate rate = TimecodeFrameRate::allCases()[GetParam()];
    const int64_t total = rate.maxTotalFrames(UpperLimit::_100days);
    for (int64_t n = 0; n < total; n += 9973) check(rate, UpperLimit::_100days, n);
    for (int64_t n = total - 1000; n < total; ++n) check(rate, UpperLimit::_100days, n);
}

INSTANTIATE_TEST_SUITE_P(AllRates, RoundTripQuarter, testing::Range<size_t>(0, 4 * TimecodeFrameRate::caseCount),
                         [](const testing::TestParamInfo<size_t>& info) {
                             std::string name(TimecodeFrameRate::allCases()[info.param / 4].rawValue());
                             for (auto& ch : name)
                                 if (ch == '.') ch = '_';
                             return "rate_" + name + "_quarter_" + std::to_string(info.param % 4);
                         });

INSTANTIATE_TEST_SUITE_P(AllRates, RoundTrip, testing::Range<size_t>(0, TimecodeFrameRate::caseCount),
                         [](const testing::TestParamInfo<size_t>& info) {
                             std::string name(TimecodeFrameRate::allCases()[info.param].rawValue());
                             for (auto& ch : name)
                                 if (ch == '.') ch = '_';
                             return "rate_" + name;
                         });
