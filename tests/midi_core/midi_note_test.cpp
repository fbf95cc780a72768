#include "midi_core/midi_note.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <unordered_set>

namespace midicore {
namespace {

using Style = MIDINote::Style;
using Name = MIDINote::Name;
using ErrorCase = MIDINote::NoteError::Case;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// The error case a throwing construction gives, or none when it succeeds.
template <class Make>
std::optional<ErrorCase> errorOf(Make make) {
    try {
        (void)make();
        return std::nullopt;
    } catch (const MIDINote::NoteError& error) {
        return error.errorCase();
    }
}

TEST(MIDINoteTest, TextInTheThreeStyles) {
    struct Case {
        unsigned number;
        Style style;
        bool flats;
        bool unicode;
        std::string text;
    };
    const Case cases[] = {
        {60, Style::yamaha, false, false, "C3"},     {60, Style::roland, false, false, "C4"},
        {60, Style::cakewalk, false, false, "C5"},   {0, Style::yamaha, false, false, "C-2"},
        {127, Style::yamaha, false, false, "G8"},    {61, Style::yamaha, false, false, "C#3"},
        {61, Style::yamaha, true, false, "Db3"},     {61, Style::yamaha, false, true, "C\u266F3"},
        {61, Style::yamaha, true, true, "D\u266D3"}, {70, Style::roland, true, false, "Bb4"},
        {69, Style::roland, false, false, "A4"},
    };
    for (const Case& c : cases) {
        const MIDINote note(UInt7(c.number), c.style);
        EXPECT_EQ(note.stringValue(c.flats, c.unicode), c.text) << c.number;
    }
    const MIDINote c3(UInt7(60));
    EXPECT_EQ(c3.description(), "C3");
    EXPECT_EQ(c3.debugDescription(), "Note(C3 number:60)");
    EXPECT_EQ(MIDINote(UInt7(61)).description(), "C\u266F3");
    EXPECT_EQ(description(Style::roland), "Roland (Middle C == C4)");
}

TEST(MIDINoteTest, ParsingText) {
    struct Case {
        std::string text;
        Style style;
        std::optional<unsigned> number;  // none: the error below
        ErrorCase error = ErrorCase::outOfBounds;
    };
    const Case cases[] = {
        {"C3", Style::yamaha, 60},
        {"C4", Style::roland, 60},
        {"C5", Style::cakewalk, 60},
        {"G8", Style::yamaha, 127},
        {"C-2", Style::yamaha, 0},
        {"C#-1", Style::roland, 1},
        {"E#4", Style::yamaha, 77},  // = F4
        {"Fb4", Style::yamaha, 76},  // = E4
        {"C+4", Style::yamaha, 72},
        {"C\u266F3", Style::yamaha, 61},
        {"D\u266D3", Style::yamaha, 61},
        {"Ab-2", Style::yamaha, 8},
        {"G#8", Style::yamaha, std::nullopt, ErrorCase::outOfBounds},
        {"G9", Style::yamaha, std::nullopt, ErrorCase::outOfBounds},
        {"C-3", Style::yamaha, std::nullopt, ErrorCase::outOfBounds},
        {"C", Style::yamaha, std::nullopt, ErrorCase::outOfBounds},
        {"Cx4", Style::yamaha, std::nullopt, ErrorCase::outOfBounds},
        {"C 4", Style::yamaha, std::nullopt, ErrorCase::outOfBounds},
        {"C##4", Style::yamaha, std::nullopt, ErrorCase::outOfBounds},
        {"C+-4", Style::yamaha, std::nullopt, ErrorCase::outOfBounds},
        {"C-", Style::yamaha, std::nullopt, ErrorCase::outOfBounds},
        {"C99999999999999999999", Style::yamaha, std::nullopt, ErrorCase::outOfBounds},
        {"Ab-9223372036854775808", Style::yamaha, std::nullopt, ErrorCase::outOfBounds},
        {"B#3", Style::yamaha, std::nullopt, ErrorCase::malformedNoteName},
        {"Cb4", Style::yamaha, std::nullopt, ErrorCase::malformedNoteName},
        {"c4", Style::yamaha, std::nullopt, ErrorCase::malformedNoteName},
        {"C4b", Style::yamaha, std::nullopt, ErrorCase::malformedNoteName},
        {"H4", Style::yamaha, std::nullopt, ErrorCase::malformedNoteName},
        {"", Style::yamaha, std::nullopt, ErrorCase::malformedNoteName},
        {"C\xFF"
         "4",
         Style::yamaha, std::nullopt, ErrorCase::malformedNoteName},
    };
    for (const Case& c : cases) {
        const auto parse = [&] { return MIDINote::fromString(c.text, c.style); };
        if (c.number) {
            ASSERT_EQ(errorOf(parse), std::nullopt) << c.text;
            EXPECT_EQ(parse().number, *c.number) << c.text;
        } else {
            EXPECT_EQ(errorOf(parse), c.error) << c.text;
        }
    }
    EXPECT_STREQ(MIDINote::NoteError(ErrorCase::malformedNoteName).what(),
                 "An unexpected or malformed note name was encountered and could not be parsed.");
}

TEST(MIDINoteTest, EveryNoteReadsBackFromItsText) {
    for (Style style : MIDINote::allStyles) {
        for (const MIDINote note : MIDINote::allNotes(style)) {
            for (bool flats : {false, true}) {
                for (bool unicode : {false, true}) {
                    const std::string text = note.stringValue(flats, unicode);
                    EXPECT_EQ(MIDINote::fromString(text, style).number, note.number) << text;
                }
            }
        }
    }
}

TEST(MIDINoteTest, AFailedChangeLeavesTheNoteAsItWas) {
    MIDINote note(UInt7(64), Style::roland);
    EXPECT_THROW(note.setNumberParsing("C9x"), MIDINote::NoteError);
    EXPECT_THROW(note.setNumber(Name::A, std::numeric_limits<int64_t>::max()), MIDINote::NoteError);
    EXPECT_THROW(note.setNumber(Name::A, std::numeric_limits<int64_t>::min()), MIDINote::NoteError);
    EXPECT_THROW(note.setNumberFromFrequency(nan), MIDINote::NoteError);
    EXPECT_EQ(note.number, 64);
    EXPECT_EQ(note.style, Style::roland);
    note.setNumber(Name::G, 9);  // the top key in this style
    EXPECT_EQ(note.number, 127);
    EXPECT_EQ(errorOf([] { return MIDINote::fromNameAndOctave(Name::G_sharp, 9, Style::roland); }),
              ErrorCase::outOfBounds);
    EXPECT_EQ(errorOf([] { return MIDINote::fromNumber(128); }), ErrorCase::outOfBounds);
    EXPECT_EQ(errorOf([] { return MIDINote::fromNumber(-1); }), ErrorCase::outOfBounds);
    EXPECT_EQ(MIDINote::fromNumber(127u).number, 127);
}

TEST(MIDINoteTest, PitchClassNames) {
    struct Case {
        std::string text;
        std::optional<Name> name;
    };
    const Case cases[] = {
        {"a", Name::A},       {"ab", Name::G_sharp}, {"A#", Name::A_sharp},
        {"E#", Name::F},      {"Fb", Name::E},       {"G\u266D", Name::F_sharp},
        {"B#", std::nullopt}, {"Cb", std::nullopt},  {"C4", std::nullopt},
        {"", std::nullopt},   {"H", std::nullopt},   {"Db-extra", Name::C_sharp},
    };
    for (const Case& c : cases)
        EXPECT_EQ(noteName(c.text), c.name) << c.text;
    // Sharp names in sharps and flats, and pitch classes from each name's offset.
    for (Name name : MIDINote::allNames) {
        EXPECT_EQ(noteName(stringValue(name, false, false)), name);
        EXPECT_EQ(noteName(stringValue(name, true, true)), name);
        EXPECT_EQ(isSharp(name), stringValue(name).size() == 2);
        EXPECT_EQ(MIDINote(UInt7::truncating(60 + semitoneOffset(name))).nameAndOctave().name,
                  name);
    }
}

TEST(MIDINoteTest, Frequencies) {
    struct Case {
        double hertz;
        std::optional<unsigned> number;
    };
    const Case cases[] = {
        {440.0, 69},
        {880.0, 81},
        {261.6256, 60},
        {8.1758, 0},
        {12543.85, 127},
        {13289.75, std::nullopt},  // 128
        {8.0, 0},                  // rounds to 0
        {7.7, std::nullopt},       // rounds to -1
        {0.0, std::nullopt},
        {-440.0, std::nullopt},
        {nan, std::nullopt},
        {inf, std::nullopt},
        {-inf, std::nullopt},
        {1e-300, std::nullopt},
        {std::numeric_limits<double>::denorm_min(), std::nullopt},
    };
    for (const Case& c : cases) {
        const auto make = [&] { return MIDINote::fromFrequency(c.hertz); };
        if (c.number) {
            EXPECT_EQ(make().number, *c.number) << c.hertz;
        } else {
            EXPECT_EQ(errorOf(make), ErrorCase::outOfBounds) << c.hertz;
        }
    }
    MIDINote note(UInt7(0));
    EXPECT_THROW(note.setNumberFromFrequency(440.0, 0.0), MIDINote::NoteError);
    EXPECT_THROW(note.setNumberFromFrequency(440.0, nan), MIDINote::NoteError);
    note.setNumberFromFrequency(432.0, 432.0);
    EXPECT_EQ(note.number, 69);
    EXPECT_EQ(noteNumber(0.0), std::nullopt);
    EXPECT_EQ(noteNumber(440.0 * 1e300, 1e-300), std::nullopt);  // inf ratio
    EXPECT_EQ(noteNumber(13289.75), 128);                        // not range-checked
    // Every note's frequency maps back to it.
    for (const MIDINote n : MIDINote::allNotes()) {
        EXPECT_EQ(MIDINote::fromFrequency(n.frequencyValue()).number, n.number);
    }
    EXPECT_DOUBLE_EQ(MIDINote(UInt7(69)).frequencyValue(), 440.0);
    EXPECT_DOUBLE_EQ(MIDINote(UInt7(57)).frequencyValue(432.0), 216.0);
    // The standard frequencies of the lowest keys.
    EXPECT_NEAR(noteFrequency(0), 8.1757989156, 1e-9);
    EXPECT_NEAR(noteFrequency(-12), 4.0878994578, 1e-9);
}

TEST(MIDINoteTest, EqualityOrderAndStepping) {
    const MIDINote yamaha(UInt7(60), Style::yamaha);
    const MIDINote cakewalk(UInt7(60), Style::cakewalk);
    EXPECT_EQ(yamaha, cakewalk);
    EXPECT_EQ(std::hash<MIDINote>{}(yamaha), std::hash<MIDINote>{}(cakewalk));
    EXPECT_LT(MIDINote(UInt7(59), Style::cakewalk), yamaha);
    EXPECT_EQ(std::unordered_set<MIDINote>({yamaha, cakewalk}).size(), 1u);

    const MIDINote n100(UInt7(100), Style::roland);
    struct Step {
        int64_t by;
        unsigned number;
    };
    for (const Step s : {Step{200, 127}, Step{-500, 0}, Step{27, 127}, Step{-100, 0}, Step{5, 105},
                         Step{std::numeric_limits<int64_t>::max(), 127},
                         Step{std::numeric_limits<int64_t>::min(), 0}}) {
        const MIDINote moved = n100.advanced(s.by);
        EXPECT_EQ(moved.number, s.number) << s.by;
        EXPECT_EQ(moved.style, Style::roland);
    }
    EXPECT_EQ(n100.distance(MIDINote(UInt7(60))), -40);

    const auto all = MIDINote::allNotesArray(Style::cakewalk);
    ASSERT_EQ(all.size(), 128u);
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].number, i);
        EXPECT_EQ(all[i].style, Style::cakewalk);
    }
    const auto piano = MIDINote::allPianoNotes();
    EXPECT_EQ(std::distance(piano.begin(), piano.end()), 88);
    EXPECT_TRUE(piano.contains(MIDINote(UInt7(21))));
    EXPECT_FALSE(piano.contains(MIDINote(UInt7(109))));
    const MIDINoteRange reversed{MIDINote(UInt7(5)), MIDINote(UInt7(4))};
    EXPECT_EQ(reversed.begin(), reversed.end());
}

// The note-number ranges against the standard equal-tempered pitch table: MIDI numbers reach from
// 8.1758 Hz to 12543.854 Hz, the 88 keys of a piano from A0 (27.5 Hz) to C8 (4186.009 Hz).
TEST(MIDINoteTest, NoteNumberRanges) {
    struct Case {
        const char* name;
        MIDINoteNumberRange numbers;
        MIDINoteRange notes;
        UInt7 lowerConstant;
        UInt7 upperConstant;
        size_t count;
        double lowestHz;
        double highestHz;
    };
    for (const Case& c :
         {Case{"all notes", MIDINote::allNoteNumbers, MIDINote::allNotes(Style::roland),
               MIDINote::allNoteNumbersLowerBound, MIDINote::allNoteNumbersUpperBound, 128, 8.1758,
               12543.854},
          Case{"piano keys", MIDINote::allPianoNoteNumbers,
               MIDINote::allPianoNotes(Style::cakewalk), MIDINote::allPianoNoteNumbersLowerBound,
               MIDINote::allPianoNoteNumbersUpperBound, 88, 27.5, 4186.009}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.numbers.lowerBound, c.lowerConstant);
        EXPECT_EQ(c.numbers.upperBound, c.upperConstant);
        EXPECT_NEAR(noteFrequency(c.numbers.lowerBound.value()), c.lowestHz, 1e-3);
        EXPECT_NEAR(noteFrequency(c.numbers.upperBound.value()), c.highestHz, 1e-3);
        // Walked upward one number at a time with both ends, as the notes of the same range are.
        std::vector<int> walked, ofNotes;
        for (const UInt7 number : c.numbers)
            walked.push_back(number.value());
        for (const MIDINote note : c.notes)
            ofNotes.push_back(note.number.value());
        EXPECT_EQ(walked.size(), c.count);
        EXPECT_EQ(c.numbers.count(), c.count);
        EXPECT_EQ(walked, ofNotes);
        // A number lies in the range exactly when its pitch lies within the range's compass.
        for (int n = 0; n < 128; ++n) {
            const double hz = noteFrequency(n);
            EXPECT_EQ(c.numbers.contains(UInt7(n)),
                      hz > c.lowestHz * 0.999 && hz < c.highestHz * 1.001)
                << n;
        }
    }
}

}  // namespace
}  // namespace midicore
