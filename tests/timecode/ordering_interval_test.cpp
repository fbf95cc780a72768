// Comparison, sorting and hashing of timecodes, intervals and transformers, rate conversion,
// the encoded form and the video frame rates.
#include <gtest/gtest.h>

#include <unordered_set>

#include "score/json.hpp"
#include "timecode/encoding.hpp"
#include "timecode/sorting.hpp"
#include "timecode/transformer.hpp"
#include "timecode/video_frame_rate.hpp"

using namespace timecode;
using R = TimecodeFrameRate;
using C = Components;
using CR = Timecode::ComparisonResult;

namespace {
Timecode at(R rate, C c, UpperLimit limit = UpperLimit::_24hours) { return Timecode::fromComponents(c, rate, limit); }
}  // namespace

TEST(TimecodeOrdering, TimelineComparisonSortingAndHashing) {
    const auto t2300 = at(R::_24, {0, 23, 0, 0, 0, 0});
    const auto t2330 = at(R::_24, {0, 23, 30, 0, 0, 0});
    const auto t0030 = at(R::_24, {0, 0, 30, 0, 0, 0});
    EXPECT_EQ(t0030.compare(t2330, t2300), CR::orderedDescending);
    EXPECT_EQ(t0030.compare(t2330), CR::orderedAscending);
    EXPECT_EQ(t0030.compare(t0030, t2300), CR::orderedSame);
    const std::vector<Timecode> list{t0030, t2330, t2300};
    EXPECT_EQ(sorted(list, SortOrder::forward, t2300), (std::vector<Timecode>{t2300, t2330, t0030}));
    EXPECT_EQ(sorted(list), (std::vector<Timecode>{t0030, t2300, t2330}));
    EXPECT_EQ(sorted(list, SortOrder::forward, Timecode(R::_24)), (std::vector<Timecode>{t0030, t2300, t2330}));
    EXPECT_EQ(sorted(list, SortOrder::reverse, t2300), (std::vector<Timecode>{t0030, t2330, t2300}));
    EXPECT_TRUE(isSorted(std::vector<Timecode>{}));
    EXPECT_TRUE(isSorted(std::vector<Timecode>{t2300}));
    EXPECT_TRUE(isSorted(std::vector<Timecode>{t2300, t2300}));
    EXPECT_FALSE(isSorted(std::vector<Timecode>{t2330, t2300}));
    EXPECT_TRUE(isSorted(std::vector<Timecode>{t2330, t2300}, SortOrder::reverse));
    EXPECT_TRUE(isSorted(std::vector<Timecode>{t2300, t2330, t0030}, SortOrder::forward, t2300));

    TimecodeSortComparator reverse{SortOrder::reverse, std::nullopt};
    EXPECT_EQ(reverse.compare(t0030, t2300), CR::orderedDescending);
    EXPECT_EQ(reverse.compare(t0030, t0030), CR::orderedSame);
    EXPECT_EQ((TimecodeSortComparator{SortOrder::forward, t2300}), (TimecodeSortComparator{SortOrder::forward, t2300}));
    EXPECT_NE((TimecodeSortComparator{SortOrder::forward, t2300}), (TimecodeSortComparator{SortOrder::forward, std::nullopt}));

    // Equal across rates, and hashed equally.
    const auto h25 = at(R::_25, {0, 1, 0, 0, 0, 0});
    const auto h30 = at(R::_30, {0, 1, 0, 0, 0, 0});
    EXPECT_EQ(h25, h30);
    EXPECT_EQ(h25.compare(h30), CR::orderedSame);
    EXPECT_EQ(std::hash<Timecode>{}(h25), std::hash<Timecode>{}(h30));
    std::unordered_set<Timecode> set{h25, h30, at(R::_24, {0, 1, 0, 0, 0, 0}), at(R::_100, {0, 1, 0, 0, 0, 0})};
    EXPECT_EQ(set.size(), 1u);

    EXPECT_EQ(at(R::_24, {0, 0, 0, 0, 2, 0}).advanced(-5).components(), C{});
    EXPECT_EQ(at(R::_24, {0, 23, 59, 59, 23, 0}).advanced(30).components(), (C{0, 23, 59, 59, 23, 79}));
    EXPECT_EQ(at(R::_25, {0, 0, 0, 1, 0, 0}).distance(Timecode(R::_25)), -25);
    EXPECT_EQ(at(R::_24, {0, 1, 0, 0, 0, 0}).debugDescription(), "Timecode<01:00:00:00 @ 24>");
    EXPECT_EQ(at(R::_24, {0, 1, 0, 0, 0, 0}, UpperLimit::_100days).debugDescription(), "Timecode<0:01:00:00:00 @ 24>");
    EXPECT_EQ(at(R::_29_97_drop, {0, 1, 0, 0, 0, 0}).stringValueWithFrameRate(), "01:00:00;00 @ 29.97d");
}

TEST(TimecodeIntervals, EqualityConversionAndTransformers) {
    const auto second24 = at(R::_24, {0, 0, 0, 1, 0, 0});
    EXPECT_EQ(second24.asInterval(), Timecode::fromFrameCount(FrameCount::Value::frames(24), R::_24).asInterval());
    EXPECT_FALSE(at(R::_24, {0, 0, 0, 0, 1, 0}).asInterval() == at(R::_25, {0, 0, 0, 0, 1, 0}).asInterval());
    EXPECT_FALSE(second24.asInterval() == second24.asInterval(true));

    auto minusOne = TimecodeInterval::fromRealTime(Fraction(-1, 25), R::_25);
    EXPECT_TRUE(minusOne.isNegative());
    EXPECT_EQ(minusOne.flattened().components(), (C{0, 23, 59, 59, 24, 0}));
    EXPECT_EQ(minusOne.rationalValue(), Fraction(-1, 25));
    EXPECT_EQ(minusOne.description(), "-00:00:00:01");
    EXPECT_EQ(minusOne.debugDescription(), "TimecodeInterval(-00:00:00:01)");
    EXPECT_EQ(minusOne.verboseDescription(), "TimecodeInterval -00:00:00:01 @ 25");
    EXPECT_DOUBLE_EQ(minusOne.realTimeValue(), -0.04);
    EXPECT_EQ(TimecodeInterval::fromRealTime(MediaTime::indefinite(), R::_25).absoluteInterval.components(), C{});
    EXPECT_THROW(TimecodeInterval::fromRealTime(Fraction(86400, 1), R::_25), TimecodeValidationError);
    EXPECT_EQ(std::hash<TimecodeInterval>{}(second24.asInterval()), std::hash<TimecodeInterval>{}(second24.asInterval()));

    const auto zero25 = Timecode(R::_25);
    TimecodeTransformer back(TimecodeTransformer::Transform::offset(minusOne));
    EXPECT_EQ(back.transform(zero25).components(), (C{0, 23, 59, 59, 24, 0}));
    back.enabled = false;
    EXPECT_EQ(zero25.transformed(back).components(), C{});
    TimecodeTransformer chain({TimecodeTransformer::Transform::offset(at(R::_30, {0, 0, 0, 1, 0, 0}).asInterval()),
                               TimecodeTransformer::Transform::none(),
                               TimecodeTransformer::Transform::custom([](const Timecode& t) { return t.advanced(1); })});
    auto moved = zero25;
    moved.transform(chain);
    EXPECT_EQ(moved.components(), (C{0, 0, 0, 1, 1, 0}));
    EXPECT_EQ(moved.frameRate, R::_25);

    const auto v = at(R::_30, {0, 1, 0, 0, 29, 0});
    EXPECT_EQ(v.converted(R::_30, true).components(), v.components());
    EXPECT_EQ(v.converted(R::_25, true).components(), (C{0, 1, 0, 0, 24, 13}));  // 29/30 s is 24 1/6 frames
    EXPECT_EQ(at(R::_30, {0, 1, 0, 0, 20, 0}).converted(R::_25, true).components(), (C{0, 1, 0, 0, 20, 0}));
}

TEST(TimecodeEncoding, RecordThroughTheJSONWriterAndBack) {
    const auto t = Timecode::fromComponents({0, 1, 2, 3, 4, 0}, R::_29_97_drop);
    score::JSONWriter w;
    encode(t, w);
    const std::string json = w.finish();
    const JSONValue record = parseJSON(json);
    EXPECT_EQ(std::get<std::string>(record.member("frameRate")->value), "29.97d");
    EXPECT_EQ(std::get<std::string>(record.member("upperLimit")->value), "24 hours");
    EXPECT_EQ(std::get<int64_t>(record.member("subFramesBase")->value), 80);
    EXPECT_TRUE(std::get<std::shared_ptr<JSONValue::Array>>(record.member("stringFormat")->value)->empty());
    size_t last = 0;  // keys in the order of the record
    for (auto key : timecodeCodingKeys) {
        size_t at = json.find("\"" + std::string(key) + "\"");
        ASSERT_NE(at, std::string::npos) << key;
        EXPECT_GT(at, last);
        last = at;
    }
    const Timecode back = decodeTimecode(json);
    EXPECT_EQ(back.components(), t.components());
    EXPECT_EQ(back.frameRate, R::_29_97_drop);
    EXPECT_EQ(back.stringFormat, StringFormat{});

    auto withFormat = Timecode::rawValues(C{0, 30, 0, 0, 0, 7}, R::_24, UpperLimit::_100days,
                                          SubFramesBase::quarterFrames, StringFormat{StringFormatParameter::showSubFrames});
    score::JSONWriter w2;
    encode(withFormat, w2);
    const Timecode back2 = decodeTimecode(w2.finish());
    EXPECT_EQ(back2.hours, 30);  // not validated
    EXPECT_TRUE(back2.stringFormat.showSubFrames());
    EXPECT_EQ(back2.subFramesBase, SubFramesBase::quarterFrames);
    EXPECT_EQ(back2.upperLimit, UpperLimit::_100days);

    using DC = TimecodeDecodingError::Case;
    const std::string good = json;
    struct Bad {
        std::string json;
        DC error;
    } bad[] = {
        {"[]", DC::typeMismatch},
        {"{}", DC::keyNotFound},
        {std::string(good).replace(good.find("29.97d"), 6, "29.97D"), DC::dataCorrupted},
        {std::string(good).replace(good.find("24 hours"), 8, "24 Hours"), DC::dataCorrupted},
        {std::string(good).replace(good.find("80"), 2, "25"), DC::dataCorrupted},
        {std::string(good).replace(good.find("[]"), 2, "[\"hideSubFrames\"]"), DC::valueNotFound},
        {std::string(good).replace(good.find("[]"), 2, "\"showSubFrames\""), DC::typeMismatch},
        {std::string(good).replace(good.find("\"days\" : 0"), 10, "\"days\" : 1.5"), DC::typeMismatch},
        {std::string(good).replace(good.find("\"days\" : 0"), 10, "\"days\" : 99999999999999999999"), DC::dataCorrupted},
        {good.substr(0, good.size() - 1), DC::dataCorrupted},
        {std::string(100, '[') + std::string(100, ']'), DC::dataCorrupted},
    };
    for (const auto& b : bad) {
        try {
            decodeTimecode(b.json);
            ADD_FAILURE() << b.json;
        } catch (const TimecodeDecodingError& e) {
            EXPECT_EQ(e.errorCase(), b.error) << b.json << ": " << e.what();
        }
    }
    try {
        decodeStringFormatParameter(parseJSON("\"x\""));
    } catch (const TimecodeDecodingError& e) {
        EXPECT_STREQ(e.what(), "Decoded value is not valid.");
    }
    EXPECT_EQ(decodeLegacyFrameRate(parseJSON("\"59.94d\"")), LegacyFrameRate::_59_94_drop);
}

TEST(VideoFrameRates, TableLookupsAndMappings) {
    using V = VideoFrameRate;
    ASSERT_EQ(V::allCases().size(), 20u);
    for (auto v : V::allCases()) {
        EXPECT_EQ(V::fromRawValue(v.rawValue()), v);
        EXPECT_EQ(V::fromFrameDuration(v.frameDuration(), v.isInterlaced()), v) << v.rawValue();
        EXPECT_TRUE(Fraction(v.rate().numerator() * v.frameDuration().numerator(),
                             v.rate().denominator() * v.frameDuration().denominator())
                        .isEqual(Fraction(1, 1)))
            << v.rawValue();
        // The mapped timecode rate runs at the same rate.
        EXPECT_TRUE(v.timecodeFrameRate(false)->rate().isEqual(v.rate())) << v.rawValue();
        if (auto drop = v.timecodeFrameRate(true)) {
            EXPECT_TRUE(drop->isDrop());
        }
    }
    EXPECT_EQ(V::fromFPS(25.0, false), V::_25p);
    EXPECT_EQ(V::fromFPS(25.0, true), V::_25i);
    EXPECT_EQ(V::fromFPS(24.0, true), std::nullopt);
    EXPECT_EQ(V::fromFPS(29.97, false, true), V::_29_97p);
    EXPECT_EQ(V::fromFPS(23.98f, false), V::_23_98p);
    EXPECT_EQ(R::_25.videoFrameRate(false), V::_25i);
    EXPECT_EQ(R::_25.videoFrameRate(true), V::_25i);
    EXPECT_EQ(R::_29_97_drop.videoFrameRate(true), V::_29_97i);
    EXPECT_EQ(R::_60_drop.videoFrameRate(true), std::nullopt);
    EXPECT_EQ(V::_120p.timecodeFrameRate(true), std::nullopt);
    EXPECT_EQ(V::_23_98p.timecodeFrameRate(true), std::nullopt);
    EXPECT_EQ(V::_60i.timecodeFrameRate(false), R::_60);
    EXPECT_EQ(V::fromFrameDuration(Fraction(2000, 59940), true), V::_29_97i);
    EXPECT_EQ(V::fromRate(MediaTime::make(50, 1), true), V::_50i);
}
