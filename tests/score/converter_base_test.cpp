#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "score/converter.hpp"

namespace {

// A converter whose conversion step appends one note, or fails when asked to.
class OneNoteConverter : public score::MusicConverter {
  public:
    bool fail = false;
    int conversions = 0;

    void convert(const std::filesystem::path&) override {
        ++conversions;
        beatsPerMeasure = 3;
        beatType = 4;
        noteObjects.push_back(std::make_shared<score::NoteObject>(0, 57, 44100, 1));
        if (fail) throw score::JpsConversionError::conversionError("Missing duration node");
        tempoObjects.push_back(std::make_shared<score::TempoObject>(0, 90.0f, 30.0f));
    }
};

TEST(MusicConverter, PublishesADocumentHoldingTheConvertersOwnRecords) {
    OneNoteConverter converter;
    std::vector<std::shared_ptr<score::JPSData>> seen;
    auto subscription =
        converter.jpsDataPublisher().subscribe([&](const auto& piece) { seen.push_back(piece); });
    EXPECT_EQ(converter.jpsData(), nullptr);

    converter.convertToJps("piece.musicxml");
    const auto piece = converter.jpsData();
    ASSERT_NE(piece, nullptr);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], piece);
    EXPECT_EQ(piece->info->beatsPerMeasure, 3);
    EXPECT_EQ(piece->info->beatType, 4);
    ASSERT_EQ(piece->notes.size(), 1u);
    EXPECT_EQ(piece->notes[0], converter.noteObjects[0]);  // the same object, not a copy
    EXPECT_EQ(piece->tempos[0], converter.tempoObjects[0]);
    EXPECT_TRUE(piece->sections.empty());
}

TEST(MusicConverter, FailedConversionKeepsThePreviousDocumentAndPublishesNothing) {
    OneNoteConverter converter;
    converter.fail = true;
    int published = 0;
    auto subscription = converter.jpsDataPublisher().subscribe([&](const auto&) { ++published; });
    try {
        converter.convertToJps("piece.musicxml");
        FAIL() << "no error";
    } catch (const score::JpsConversionError& e) {
        EXPECT_EQ(e.errorCase(), score::JpsConversionError::Case::conversionError);
        EXPECT_STREQ(e.what(), "Missing duration node");
        EXPECT_EQ(e.message(), "Missing duration node");
    }
    EXPECT_EQ(converter.jpsData(), nullptr);
    EXPECT_EQ(published, 0);

    converter.fail = false;
    converter.convertToJps("piece.musicxml");
    const auto first = converter.jpsData();
    converter.fail = true;
    EXPECT_THROW(converter.convertToJps("piece.musicxml"), score::JpsConversionError);
    EXPECT_EQ(converter.jpsData(), first);
    EXPECT_EQ(published, 1);
}

TEST(MusicConverter, BaseConversionStepDoesNothingAndASecondRunAppends) {
    score::MusicConverter base;
    base.convertToJps("anything");
    ASSERT_NE(base.jpsData(), nullptr);
    EXPECT_TRUE(base.jpsData()->notes.empty());
    EXPECT_EQ(base.jpsData()->info->beatType, 0);

    OneNoteConverter converter;
    converter.convertToJps("a");
    converter.convertToJps("b");
    EXPECT_EQ(converter.jpsData()->notes.size(), 2u);
}

}  // namespace
