#include <gtest/gtest.h>

#include "musicxml_snippets.hpp"
#include "xml/indexing.hpp"

namespace {

using namespace scoretest;
using score::JpsConversionError;
using score::JpsMusicXmlConverter;

struct NoteCase {
    const char* name;
    std::string measures;
    std::vector<NoteTuple> notes;
};

void PrintTo(const NoteCase& c, std::ostream* os) {
    *os << c.name;
}

class NoteConversion : public testing::TestWithParam<NoteCase> {};

TEST_P(NoteConversion, PlacesTheNotesItShould) {
    JpsMusicXmlConverter converter;
    converter.parseScore(partwise(GetParam().measures));
    EXPECT_EQ(notesOf(converter), GetParam().notes);
}

// Measures in 4/4 with one division per quarter note unless a case says otherwise.
const std::string one = attributes(1);

INSTANTIATE_TEST_SUITE_P(
    Cases, NoteConversion,
    testing::Values(
        NoteCase{"PitchNumbers",
                 measure("1", one + N("C4", 1) + N("A4", 1) + N("F#3", 1) + N("Bb2", 1)),
                 {{0, 48, Q, 0}, {Q, 57, Q, 0}, {2 * Q, 42, Q, 0}, {3 * Q, 34, Q, 0}}},
        NoteCase{"BSharp3IsMiddleC", measure("1", one + N("B#3", 1)), {{0, 48, Q, 0}}},
        NoteCase{"StaffCountsFromZeroAndMayBeLeftOut",
                 measure("1", one + N("C4", 1, staff(2)) + N("D4", 1, staff(1)) + N("E4", 1)),
                 {{0, 48, Q, 1}, {Q, 50, Q, 0}, {2 * Q, 52, Q, 0}}},
        NoteCase{"TicksAreTruncated",
                 measure("1", attributes(3) + N("C4", 1) + N("D4", 2)) +
                     measure("2", attributes(24) + N("E4", 1)),
                 // The second measure starts at the end of the first: 14700 + 29400.
                 {{0, 48, 14700, 0}, {14700, 50, 29400, 0}, {44100, 52, 1837, 0}}},
        NoteCase{"RestMovesTheClockWithoutARecord",
                 measure("1", one + N("R", 2) + N("C4", 1)),
                 {{2 * Q, 48, Q, 0}}},
        NoteCase{
            "Chord",
            measure("1", one + N("C4", 1) + N("E4", 1, chord) + N("G4", 1, chord) + N("D4", 1)),
            {{0, 48, Q, 0}, {0, 52, Q, 0}, {0, 55, Q, 0}, {Q, 50, Q, 0}}},
        // The stagger delays the chord's own notes; the voice goes on from the chord's start.
        NoteCase{"ArpeggiatedChord",
                 measure("1", one + N("C4", 1, arpeggiate) + N("E4", 1, chord + arpeggiate) +
                                  N("G4", 1, chord + arpeggiate) + N("C5", 1, chord + arpeggiate) +
                                  N("D4", 1)),
                 {{0, 48, Q, 0}, {100, 52, Q, 0}, {300, 55, Q, 0}, {600, 60, Q, 0}, {Q, 50, Q, 0}}},
        NoteCase{"GraceNoteOfAnotherPitch",
                 measure("1", one + N("D4", -1, grace) + N("C4", 1)),
                 {{0, 50, 0, 0}, {0, 48, Q, 0}}},
        // The main note keeps its sound and length after a grace note of the same pitch.
        NoteCase{"GraceNoteOfTheSamePitch",
                 measure("1", one + N("C4", -1, grace) + N("C4", 1)),
                 {{0, 48, 0, 0}, {0, 48, Q, 0}}},
        NoteCase{
            "DuplicateOfAnotherVoiceIsDropped",
            measure("1", one + N("C4", 2, voice(1)) + N("C4", 1, voice(2)) + N("D4", 1, voice(2))),
            {{0, 48, 2 * Q, 0}, {Q, 50, Q, 0}}},
        NoteCase{"HalfTiedToQuarter",
                 measure("1", one + N("C4", 2, tieStart) + N("C4", 1, tieStop) + N("D4", 1)),
                 {{0, 48, 3 * Q, 0}, {3 * Q, 50, Q, 0}}},
        // A chain's middle note continues it whatever the order of its tie elements.
        NoteCase{"TieChainStopThenStart",
                 measure("1", one + N("C4", 1, tieStart) + N("C4", 1, tieStop + tieStart) +
                                  N("C4", 1, tieStop) + N("C4", 1)),
                 {{0, 48, 3 * Q, 0}, {3 * Q, 48, Q, 0}}},
        NoteCase{"TieChainStartThenStop",
                 measure("1", one + N("C4", 1, tieStart) + N("C4", 1, tieStart + tieStop) +
                                  N("C4", 1, tieStop) + N("C4", 1)),
                 {{0, 48, 3 * Q, 0}, {3 * Q, 48, Q, 0}}},
        NoteCase{"StopWithoutStartIsANoteOfItsOwn",
                 measure("1", one + N("C4", 1, tieStop) + N("C4", 1, tieStart) +
                                  N("C4", 1, tieStop) + N("C4", 1, tieStop)),
                 {{0, 48, Q, 0}, {Q, 48, 2 * Q, 0}, {3 * Q, 48, Q, 0}}},
        NoteCase{"TiesAcrossTheBarLine",
                 measure("1", one + N("R", 3) + N("G4", 1, tieStart)) +
                     measure("2", N("G4", 2, tieStop)),
                 {{3 * Q, 55, 3 * Q, 0}}},
        // Two voices hold ties on the same pitch at once; each stop extends its own voice's note.
        NoteCase{"TiesAreHeldPerVoice",
                 measure("1", one + N("C4", 4, voice(1) + tieStart) + N("R", 2, voice(2)) +
                                  N("C4", 2, voice(2) + tieStart)) +
                     measure("2", N("C4", 1, voice(1) + tieStop) + N("R", 3, voice(1)) +
                                      N("R", 1, voice(2)) + N("C4", 1, voice(2) + tieStop)),
                 {{0, 48, 5 * Q, 0}, {2 * Q, 48, 3 * Q, 0}}},
        NoteCase{"TieMayCrossVoices",
                 measure("1", one + N("E4", 4, voice(1) + tieStart)) +
                     measure("2", N("E4", 4, voice(2) + tieStop)),
                 {{0, 52, 8 * Q, 0}}},
        NoteCase{"TiesBeyondTheKeyboard",
                 measure("1", one + N("E8", 2, tieStart) + N("E8", 2, tieStop) +
                                  N("C-1", 2, tieStart) + N("C-1", 2, tieStop)),
                 {{0, 100, 4 * Q, 0}, {4 * Q, -12, 4 * Q, 0}}},
        // A duplicate's tie extends the note that stands in the list.
        NoteCase{"TieOnADuplicateExtendsTheListedNote",
                 measure("1", one + N("C4", 2, voice(2)) + N("C4", 2, voice(1) + tieStart) +
                                  N("C4", 1, voice(1) + tieStop) + N("R", 1, voice(1))),
                 {{0, 48, 3 * Q, 0}}},
        // Two voices tie the same listed note: it lasts as long as the longer chain.
        NoteCase{"TwoVoicesTieOneListedNote",
                 measure("1", one + N("C4", 2, voice(1) + tieStart) +
                                  N("C4", 1, voice(1) + tieStop) + N("R", 1, voice(1)) +
                                  N("C4", 2, voice(2) + tieStart) + N("C4", 2, voice(2) + tieStop)),
                 {{0, 48, 4 * Q, 0}}},
        NoteCase{
            "TwoVoicesTieOneListedNoteAtOnce",
            measure("1", one + N("C4", 2, voice(1) + tieStart) + N("C4", 2, voice(2) + tieStart)) +
                measure("2", N("C4", 2, voice(2) + tieStop) + N("C4", 1, voice(1) + tieStop)),
            {{0, 48, 4 * Q, 0}}},
        // The first voice and staff of a note count; white space and comments may stand anywhere.
        NoteCase{"FirstOfRepeatedChildrenCounts",
                 measure("1", one + N("C4", 1, "\n  " + voice(2) + "<!-- v -->" + voice(1) +
                                                   staff(2) + "\n  " + staff(1)) +
                                  N("D4", 1, voice(1))),
                 {{0, 48, Q, 1}, {0, 50, Q, 0}}},
        // An arpeggio mark counts in any notations element of a chord note.
        NoteCase{"ArpeggioInALaterNotations",
                 measure("1", one + N("C4", 1) +
                                  N("E4", 1,
                                    chord + "<notations><slur type=\"start\"/></notations>" +
                                        arpeggiate)),
                 {{0, 48, Q, 0}, {100, 52, Q, 0}}},
        // The parts of a pitch in any order, texts split by a comment and padded with white space.
        NoteCase{"PitchPartsInAnyOrder",
                 measure("1", one + "<note><pitch><octave> 4<!-- o -->\n</octave><alter>1</alter>"
                                    "<step>F</step></pitch><duration>1</duration></note>"),
                 {{0, 54, Q, 0}}},
        NoteCase{
            "VoicesKeepTheirOwnClocks",
            measure("1", one + N("C4", 1, voice(1)) + N("E4", 3, voice(2)) + N("D4", 1, voice(1))),
            {{0, 48, Q, 0}, {0, 52, 3 * Q, 0}, {Q, 50, Q, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NoteConversionState, NoteInVoiceTwoMovesOnlyThatVoicesClock) {
    JpsMusicXmlConverter converter;
    converter.divisions = 1;
    converter.currentVoiceTimestamp = {0, 44100, 0, 0, 0, 0, 0, 0};
    converter.previousDuration.assign(8, 0);
    const auto note = xmlindexing::XMLHash::parse(N("C4", 1, voice(2)));
    converter.parseNote(note["note"]);
    ASSERT_EQ(notesOf(converter), (std::vector<NoteTuple>{{44100, 48, Q, 0}}));
    EXPECT_EQ(converter.currentVoiceTimestamp[0], 0);
    EXPECT_EQ(converter.currentVoiceTimestamp[1], 2 * Q);
    EXPECT_EQ(converter.previousDuration[1], Q);
}

TEST(NoteConversionState, ClockAfterChordsAndTies) {
    struct Case {
        std::string notes;
        int64_t clock;
    };
    for (const auto& c :
         std::vector<Case>{{N("C4", 1) + N("E4", 1, chord) + N("G4", 1, chord), Q},
                           {N("C4", 1, arpeggiate) + N("E4", 1, chord + arpeggiate) +
                                N("G4", 1, chord + arpeggiate),
                            Q},
                           {N("C4", 2, tieStart) + N("C4", 1, tieStop), 3 * Q},
                           {N("R", 2), 2 * Q},
                           {N("D4", -1, grace) + N("C4", 1), Q}}) {
        JpsMusicXmlConverter converter;
        converter.divisions = 1;
        const auto doc = xmlindexing::XMLHash::parse("<m>" + c.notes + "</m>");
        for (const auto& note : doc["m"]["note"].all())
            converter.parseNote(note);
        EXPECT_EQ(converter.currentVoiceTimestamp[0], c.clock) << c.notes;
    }
}

struct ErrorCase {
    const char* name;
    std::string measures;
    const char* message;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.name;
}

class NoteConversionError : public testing::TestWithParam<ErrorCase> {};

TEST_P(NoteConversionError, FailsTheConversionWithASentence) {
    JpsMusicXmlConverter converter;
    try {
        converter.parseScore(partwise(GetParam().measures));
        FAIL() << "converted";
    } catch (const JpsConversionError& e) {
        EXPECT_STREQ(e.what(), GetParam().message);
    }
}

std::string pitched(const std::string& pitchContent,
                    const std::string& rest = "<duration>1</duration>") {
    return measure("1", one + "<note><pitch>" + pitchContent + "</pitch>" + rest + "</note>");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NoteConversionError,
    testing::Values(
        ErrorCase{"PitchWithoutStep", pitched("<octave>4</octave>"), "Error in pitch node"},
        ErrorCase{"PitchWithoutOctave", pitched("<step>C</step>"), "Error in pitch node"},
        ErrorCase{"StepNotAName", pitched("<step>H</step><octave>4</octave>"),
                  "Error in pitch node"},
        ErrorCase{"StepFiller", pitched("<step>x</step><octave>4</octave>"), "Error in pitch node"},
        ErrorCase{"AlterNotAnInteger",
                  pitched("<step>C</step><alter>0.5</alter><octave>4</octave>"),
                  "Error in pitch node"},
        ErrorCase{"OctaveNotAnInteger", pitched("<step>C</step><octave>four</octave>"),
                  "Error in pitch node"},
        ErrorCase{"OctaveOverflows", pitched("<step>C</step><octave>999999999999999999</octave>"),
                  "Error in pitch node"},
        ErrorCase{"NoDuration", pitched("<step>C</step><octave>4</octave>", ""),
                  "Missing duration node"},
        ErrorCase{"RestWithoutDuration", measure("1", one + "<note><rest/></note>"),
                  "Missing duration node"},
        ErrorCase{"DurationNotAnInteger",
                  measure("1", one + "<note><rest/><duration>1.5</duration></note>"),
                  "Error in duration node"},
        ErrorCase{
            "NegativeDuration",
            measure("1", one + N("C4", 1, "") + "<note><rest/><duration>-1</duration></note>"),
            "Error in duration node"},
        ErrorCase{"TieWithoutType", measure("1", one + N("C4", 1, "<tie/>")),
                  "Missing tie type attribute"},
        ErrorCase{"TieWithoutTypeAfterATypedOne", measure("1", one + N("C4", 1, tieStart + "<tie/>")),
                  "Missing tie type attribute"},
        ErrorCase{"VoiceNotAnInteger", measure("1", one + N("C4", 1, "<voice>one</voice>")),
                  "Error in voice node"},
        ErrorCase{"VoiceZero", measure("1", one + N("C4", 1, voice(0))), "Error in voice node"},
        ErrorCase{"VoiceNine", measure("1", one + N("C4", 1, voice(9))), "Error in voice node"},
        ErrorCase{"StaffNotAnInteger", measure("1", one + N("C4", 1, "<staff>II</staff>")),
                  "Error in staff node"},
        ErrorCase{"StaffZero", measure("1", one + N("C4", 1, staff(0))), "Error in staff node"},
        ErrorCase{"NoDivisions", measure("1", N("C4", 1)), "Missing divisions node"},
        ErrorCase{"TickOverflowInOneNote", measure("1", one + N("C4", 9223372036854775807)),
                  "Tick value out of range"},
        ErrorCase{"TickOverflowOfTheClock",
                  measure("1", one + N("C4", 200000000000000) + N("C4", 200000000000000)),
                  "Tick value out of range"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
