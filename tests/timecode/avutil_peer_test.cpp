// Drop-frame numbering against libavutil's timecode functions: walking every frame number of a
// day through libavutil must visit exactly the positions that validation accepts, in order.
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/timecode.h>
}

#include "peer_support.hpp"
#include "timecode/validation.hpp"

using namespace timecode;

namespace {

int bcd(uint32_t word, int shift, int unitBits, int tensBits) {
    uint32_t units = (word >> shift) & ((1u << unitBits) - 1);
    uint32_t tens = (word >> (shift + unitBits)) & ((1u << tensBits) - 1);
    return static_cast<int>(tens * 10 + units);
}

// The valid positions of a day in increasing order.
class ValidPositions {
  public:
    explicit ValidPositions(TimecodeFrameRate rate) : rate_(rate) { skipInvalid(); }
    const Components& current() const { return c_; }
    void next() {
        step();
        skipInvalid();
    }

  private:
    void step() {
        if (++c_.f <= rate_.maxFrameNumber()) return;
        c_.f = 0;
        if (++c_.s < 60) return;
        c_.s = 0;
        if (++c_.m < 60) return;
        c_.m = 0;
        ++c_.h;
    }
    void skipInvalid() {
        while (c_.h < 24 && !invalidComponents(c_, rate_, UpperLimit::_24hours, SubFramesBase::_80SubFrames).empty())
            step();
    }
    TimecodeFrameRate rate_;
    Components c_;
};

}  // namespace

TEST(AvutilPeer, DropFrameNumbersOfAFullDayAt2997) {
    AVTimecode tc{};
    ASSERT_EQ(av_timecode_init(&tc, AVRational{30000, 1001}, AV_TIMECODE_FLAG_DROPFRAME, 0, nullptr), 0);
    const auto rate = TimecodeFrameRate::_29_97_drop;
    ValidPositions ours(rate);
    const int total = static_cast<int>(rate.maxTotalFrames(UpperLimit::_24hours));
    for (int n = 0; n < total; ++n) {
        uint32_t w = av_timecode_get_smpte_from_framenum(&tc, n);
        Components peer{0, bcd(w, 0, 4, 2), bcd(w, 8, 4, 3), bcd(w, 16, 4, 3), bcd(w, 24, 4, 2), 0};
        ASSERT_EQ(peer, ours.current()) << "frame number " << n;
        ours.next();
    }
    EXPECT_EQ(ours.current().h, 24);  // the day is used up exactly
}

TEST(AvutilPeer, DropFrameNumbersOfAFullDayAt5994) {
    AVTimecode tc{};
    ASSERT_EQ(av_timecode_init(&tc, AVRational{60000, 1001}, AV_TIMECODE_FLAG_DROPFRAME, 0, nullptr), 0);
    const auto rate = TimecodeFrameRate::_59_94_drop;
    ValidPositions ours(rate);
    const int total = static_cast<int>(rate.maxTotalFrames(UpperLimit::_24hours));
    for (int n = 0; n < total; ++n) {
        // libavutil's own drop-frame renumbering into nominal 60 fps counting.
        int64_t k = av_timecode_adjust_ntsc_framenum2(n, tc.fps);
        Components peer{0, k / 216000, k / 3600 % 60, k / 60 % 60, k % 60, 0};
        ASSERT_EQ(peer, ours.current()) << "frame number " << n;
        ours.next();
    }
    EXPECT_EQ(ours.current().h, 24);
}

// Frame numbers to components and back over a full day, and the text of sampled frames, at the
// five rates libavutil shares with us.
class AvutilPeerRates : public testing::TestWithParam<size_t> {};

TEST_P(AvutilPeerRates, FrameNumbersAndTextOfAFullDay) {
    const PeerRate& p = peerRates[GetParam()];
    AVTimecode tc{};
    ASSERT_EQ(av_timecode_init(&tc, AVRational{p.num, p.den},
                               (p.drop ? AV_TIMECODE_FLAG_DROPFRAME : 0) | AV_TIMECODE_FLAG_24HOURSMAX, 0, nullptr),
              0);
    const int64_t total = p.rate.maxTotalFrames(UpperLimit::_24hours);
    const int64_t base = p.rate.timecodeBase();
    for (int64_t n = 0; n < total; ++n) {
        const int64_t k = p.drop ? av_timecode_adjust_ntsc_framenum2(static_cast<int>(n), tc.fps) : n;
        const Components peer{0, k / (base * 3600), k / (base * 60) % 60, k / base % 60, k % base, 0};
        const Timecode ours = Timecode::fromFrameCount(FrameCount::Value::frames(n), p.rate);
        ASSERT_EQ(ours.components(), peer) << "frame number " << n;
        ASSERT_EQ(ours.frameCount().wholeFrames(), n);
    }
    char buf[AV_TIMECODE_STR_SIZE];
    for (int64_t n : sampledFramesOfADay(p.rate)) {
        const Timecode ours = Timecode::fromFrameCount(FrameCount::Value::frames(n), p.rate);
        ASSERT_EQ(ours.stringValue(), av_timecode_make_string(&tc, buf, static_cast<int>(n))) << n;
    }
}

INSTANTIATE_TEST_SUITE_P(PeerRates, AvutilPeerRates, testing::Range<size_t>(0, std::size(peerRates)));
