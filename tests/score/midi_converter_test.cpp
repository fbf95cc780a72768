#include <gtest/gtest.h>

#include <filesystem>

#include "score/midi_converter.hpp"

namespace {

constexpr const char* peerFile =
    "/usr/share/doc/pianobooster/courses/BeginnerCourse/01-StartWithMiddleC.mid";

TEST(JpsMidiConverter, AnyReadableFileGivesTheDefaultPiece) {
    ASSERT_TRUE(std::filesystem::exists(peerFile)) << "run scripts/install-deps.sh";
    score::JpsMidiConverter converter;
    converter.convertToJps(peerFile);
    const auto piece = converter.jpsData();
    ASSERT_NE(piece, nullptr);
    EXPECT_EQ(piece->info->beatsPerMeasure, 4);
    EXPECT_EQ(piece->info->beatType, 4);
    EXPECT_TRUE(piece->notes.empty());
    ASSERT_EQ(piece->tempos.size(), 1u);
    EXPECT_EQ(piece->tempos[0]->start, 0);
    EXPECT_EQ(piece->tempos[0]->qnpm, 120.0f);
    EXPECT_EQ(piece->tempos[0]->bpm, 30.0f);
    ASSERT_EQ(piece->dynamics.size(), 1u);
    EXPECT_EQ(piece->dynamics[0]->dynamics, 60.0f);
    EXPECT_TRUE(piece->sections.empty());
    EXPECT_EQ(converter.noteEvents.size(), 128u);
    ASSERT_TRUE(converter.midiFile.has_value());
    EXPECT_EQ(converter.midiFile->tracks().size(), 5u);

    // A second conversion adds dynamics but no second tempo.
    converter.convertToJps(peerFile);
    EXPECT_EQ(converter.jpsData()->tempos.size(), 1u);
    EXPECT_EQ(converter.jpsData()->dynamics.size(), 2u);

    // A file that cannot be read ends the conversion with its error; the file read before stays.
    EXPECT_THROW(converter.convertToJps("/nonexistent.mid"), midifile::MIDIFileDecodeError);
    EXPECT_TRUE(converter.midiFile.has_value());
    score::JpsMidiConverter fresh;
    EXPECT_THROW(fresh.readTracks(), score::JpsConversionError);
}

}  // namespace
