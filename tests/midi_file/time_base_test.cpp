#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "midi_file/time_base.hpp"

using namespace midifile;

namespace {

using TimeBase = MIDIFileTimeBase;

TEST(TimeBase, DivisionWordsReadAsTheStandardDefinesThem) {
    const struct {
        std::vector<uint8_t> word;
        std::optional<TimeBase> base;
    } cases[] = {
        {{0x03, 0xC0}, TimeBase::musical(960)},
        {{0x00, 0x60}, TimeBase::musical(96)},
        {{0x00, 0x00}, TimeBase::musical(0)},
        {{0x7F, 0xFF}, TimeBase::musical(32767)},
        {{0xE8, 0x50}, TimeBase::timecode(MIDIFileFrameRate::_24fps, 80)},
        {{0xE7, 0x28}, TimeBase::timecode(MIDIFileFrameRate::_25fps, 40)},
        {{0xE3, 0x04}, TimeBase::timecode(MIDIFileFrameRate::_2997dfps, 4)},
        {{0xE2, 0x50}, TimeBase::timecode(MIDIFileFrameRate::_30fps, 80)},
        {{0xE2, 0xFF}, TimeBase::timecode(MIDIFileFrameRate::_30fps, 255)},
        {{0x80, 0x00}, std::nullopt},
        {{0xE4, 0x28}, std::nullopt},  // -28 frames per second is no SMPTE format
        {{0xE6, 0x28}, std::nullopt},
        {{0xFF, 0xFF}, std::nullopt},
        {{0x03}, std::nullopt},
        {{0x03, 0xC0, 0x00}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TimeBase::fromRawBytes(c.word), c.base) << testing::PrintToString(c.word);
        // Every word that reads writes back unchanged.
        if (c.base) {
            const auto written = c.base->rawBytes();
            EXPECT_EQ(std::vector<uint8_t>(written.begin(), written.end()), c.word);
        }
    }
    // Counts of 32768 and above lose the bit that marks timecode.
    const auto word = TimeBase::musical(40000).rawBytes();
    EXPECT_EQ(word[0], 0x1C);
    EXPECT_EQ(word[1], 0x40);
}

TEST(TimeBase, EnumerationsHaveExactlyTheirRawValues) {
    for (int raw = 0; raw < 256; ++raw) {
        const auto byte = static_cast<uint8_t>(raw);
        EXPECT_EQ(fromRawValue<MIDIFileFormat>(byte).has_value(), raw <= 2) << raw;
        EXPECT_EQ(fromRawValue<MIDIFileSMPTEOffsetFrameRate>(byte).has_value(), raw <= 3) << raw;
        const bool isRate = raw == 0x68 || raw == 0x67 || raw == 0x63 || raw == 0x62;
        EXPECT_EQ(fromRawValue<MIDIFileFrameRate>(byte).has_value(), isRate) << raw;
    }
    EXPECT_EQ(fromRawValue<MIDIFileFrameRate>(98), MIDIFileFrameRate::_30fps);
}

TEST(TimeBase, Texts) {
    EXPECT_EQ(debugDescription(MIDIFileFormat::multipleTracksSynchronous),
              "Format(Type 1 (multiple tracks synchronous))");
    EXPECT_EQ(debugDescription(MIDIFileFrameRate::_2997dfps), "FrameRate(29.97dfps)");
    EXPECT_EQ(debugDescription(MIDIFileSMPTEOffsetFrameRate::_25fps), "SMPTEOffsetFrameRate(25fps)");
    EXPECT_EQ(TimeBase().debugDescription(), "timeBase(Musical: 960 ticks per quarter)");
    EXPECT_EQ(TimeBase::timecode(MIDIFileFrameRate::_25fps, 40).description(),
              "Timecode: 25fps 40 ticks per frame");
    EXPECT_EQ(DeltaTime::ticks(480).description(), "ticks:480");
    EXPECT_EQ(DeltaTime::_8thNote().debugDescription(), "DeltaTime(8thNote)");
}

TEST(DeltaTime, TicksFollowTheTimeBase) {
    // Note values against ticks per quarter note: p x 4 ... p / 64 with remainders dropped.
    const DeltaTime notes[] = {DeltaTime::wholeNote(),  DeltaTime::halfNote(),
                               DeltaTime::quarterNote(), DeltaTime::_8thNote(),
                               DeltaTime::_16thNote(),  DeltaTime::_32ndNote(),
                               DeltaTime::_64thNote(),  DeltaTime::_128thNote(),
                               DeltaTime::_256thNote()};
    const struct {
        uint16_t ppq;
        std::vector<uint32_t> ticks;
    } cases[] = {
        {960, {3840, 1920, 960, 480, 240, 120, 60, 30, 15}},
        {961, {3844, 1922, 961, 480, 240, 120, 60, 30, 15}},
        {100, {400, 200, 100, 50, 25, 12, 6, 3, 1}},
        {32, {128, 64, 32, 16, 8, 4, 2, 1, 0}},
        {0, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {65535, {262140, 131070, 65535, 32767, 16383, 8191, 4095, 2047, 1023}},
    };
    for (const auto& c : cases) {
        const auto base = TimeBase::musical(c.ppq);
        for (size_t i = 0; i < std::size(notes); ++i) {
            EXPECT_EQ(notes[i].ticksValue(base), c.ticks[i]) << c.ppq << " " << notes[i].description();
        }
        EXPECT_EQ(DeltaTime::ticks(0xFFFFFFFF).ticksValue(base), 0xFFFFFFFFu);
        EXPECT_EQ(DeltaTime::none().ticksValue(base), 0u);
    }
    // No tick count is defined under a timecode time base.
    const auto timecode = TimeBase::timecode(MIDIFileFrameRate::_25fps, 40);
    EXPECT_EQ(DeltaTime::ticks(5).ticksValue(timecode), std::nullopt);
    EXPECT_EQ(DeltaTime::quarterNote().ticksValue(timecode), std::nullopt);
}

TEST(DeltaTime, EqualWhenTheyComeToTheSameTicksAt960) {
    const struct {
        DeltaTime a, b;
        bool equal;
    } cases[] = {
        {DeltaTime::ticks(960), DeltaTime::quarterNote(), true},
        {DeltaTime::ticks(0), DeltaTime::none(), true},
        {DeltaTime::_8thNote(), DeltaTime::ticks(480), true},
        {DeltaTime::wholeNote(), DeltaTime::ticks(3840), true},
        {DeltaTime::_256thNote(), DeltaTime::ticks(15), true},
        {DeltaTime::halfNote(), DeltaTime::quarterNote(), false},
        {DeltaTime::ticks(1), DeltaTime::none(), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.a == c.b, c.equal) << c.a.description() << " " << c.b.description();
        if (c.equal) {
            EXPECT_EQ(c.a.hash(), c.b.hash());
        }
    }
}

}  // namespace
