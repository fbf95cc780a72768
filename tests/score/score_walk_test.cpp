#include <gtest/gtest.h>

#include <cmath>

#include "musicxml_snippets.hpp"
#include "score/json.hpp"

namespace {

using namespace scoretest;
using score::JpsConversionError;
using score::JpsMusicXmlConverter;

const std::string one = attributes(1);
// A bar of four quarter notes of one pitch.
std::string bar(const std::string& pitch) {
    return N(pitch, 1) + N(pitch, 1) + N(pitch, 1) + N(pitch, 1);
}
std::vector<NoteTuple> barAt(int64_t start, int64_t note) {
    return {{start, note, Q, 0},
            {start + Q, note, Q, 0},
            {start + 2 * Q, note, Q, 0},
            {start + 3 * Q, note, Q, 0}};
}
std::vector<NoteTuple> joined(std::initializer_list<std::vector<NoteTuple>> parts) {
    std::vector<NoteTuple> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct WalkCase {
    const char* name;
    std::string measures;
    std::vector<NoteTuple> notes;
};

void PrintTo(const WalkCase& c, std::ostream* os) {
    *os << c.name;
}

class ScoreWalk : public testing::TestWithParam<WalkCase> {};

TEST_P(ScoreWalk, PlacesTheNotesItShould) {
    JpsMusicXmlConverter converter;
    converter.parseScore(partwise(GetParam().measures));
    EXPECT_EQ(notesOf(converter), GetParam().notes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScoreWalk,
    testing::Values(
        WalkCase{"TwoMeasuresOfQuarters", measure("1", one + bar("C4")) + measure("2", bar("D4")),
                 joined({barAt(0, 48), barAt(4 * Q, 50)})},
        // Voice 2 is longer than voice 1: voice 1 starts the next measure at the end of voice 2.
        WalkCase{"LongestVoiceEndsTheMeasure",
                 measure("1", one + N("C4", 1, voice(1)) + N("E4", 5, voice(2))) +
                     measure("2", N("D4", 1)),
                 {{0, 48, Q, 0}, {0, 52, 5 * Q, 0}, {5 * Q, 50, Q, 0}}},
        // Backup and forward are not needed: every voice has its own clock.
        WalkCase{
            "BackupAndForwardAreSkipped",
            measure("1", one + N("C4", 4, voice(1)) + "<backup><duration>4</duration></backup>" +
                             N("E3", 4, voice(5) + staff(2)) +
                             "<forward><duration>2</duration></forward>") +
                measure("2", N("D4", 1)),
            {{0, 48, 4 * Q, 0}, {0, 40, 4 * Q, 1}, {4 * Q, 50, Q, 0}}},
        WalkCase{"RepeatReplaysItsSection",
                 measure("1", one + bar("C4")) + measure("2", forwardRepeat + bar("D4")) +
                     measure("3", bar("E4") + backwardRepeat) + measure("4", bar("F4")),
                 joined({barAt(0, 48), barAt(4 * Q, 50), barAt(8 * Q, 52), barAt(12 * Q, 50),
                         barAt(16 * Q, 52), barAt(20 * Q, 53)})},
        WalkCase{"RepeatFromTheStartWithoutForwardSign",
                 measure("1", one + bar("C4") + backwardRepeat) + measure("2", bar("D4")),
                 joined({barAt(0, 48), barAt(4 * Q, 48), barAt(8 * Q, 50)})},
        // The section begins and ends with a rest: the replay keeps the bar lines, later notes
        // stay in place.
        WalkCase{"RepeatSectionWithRestsAtBothEnds",
                 measure("1", one + forwardRepeat + N("R", 1) + N("C4", 2) + N("R", 1) +
                                  backwardRepeat) +
                     measure("2", N("D4", 4)),
                 {{Q, 48, 2 * Q, 0}, {5 * Q, 48, 2 * Q, 0}, {8 * Q, 50, 4 * Q, 0}}},
        // First and second endings: A, ending 1, A again, ending 2.
        WalkCase{
            "FirstEndingIsNotReplayed",
            measure("1", one + forwardRepeat + bar("C4")) +
                measure("2", barline("<ending number=\"1\" type=\"start\"/>") + bar("D4") +
                                 barline("<ending number=\"1\" type=\"stop\"/>") + backwardRepeat) +
                measure("3", barline("<ending number=\"2\" type=\"start\"/>") + bar("E4")),
            joined({barAt(0, 48), barAt(4 * Q, 50), barAt(8 * Q, 48), barAt(12 * Q, 52)})},
        // After a replay nothing is recorded until the repeat sign, so a later backward repeat
        // with nothing recorded changes nothing.
        WalkCase{
            "BackwardRepeatWithNothingRecorded",
            measure("1", one + bar("C4")) +
                measure("2", barline("<ending number=\"1\" type=\"start\"/>") + backwardRepeat) +
                measure("3", barline("<ending number=\"1\" type=\"start\"/>") + bar("D4") +
                                 backwardRepeat) +
                measure("4", bar("E4")),
            joined({barAt(0, 48), barAt(4 * Q, 48), barAt(8 * Q, 50), barAt(12 * Q, 52)})},
        WalkCase{"XMeasureStartsANewSection",
                 measure("1", one + bar("C4")) + measure("X1", bar("D4") + backwardRepeat),
                 joined({barAt(0, 48), barAt(4 * Q, 50), barAt(8 * Q, 50)})},
        WalkCase{"PickupQuarterIn44",
                 measure("0", one + N("G4", 1), pickup) + measure("1", bar("C4")),
                 joined({{{3 * Q, 55, Q, 0}}, barAt(4 * Q, 48)})},
        WalkCase{"PickupIn68",
                 measure("0", attributes(2, 6, 8) + N("G4", 1), pickup) +
                     measure("1", N("C4", 1)),
                 {{3 * Q - Q / 2, 55, Q / 2, 0}, {3 * Q, 48, Q / 2, 0}}},
        WalkCase{"MeasureZeroNotImplicitIsAnOrdinaryMeasure",
                 measure("0", one + N("G4", 1), " implicit=\"no\"") + measure("1", N("C4", 1)),
                 {{0, 55, Q, 0}, {Q, 48, Q, 0}}},
        // A repeat back to the start replays the pickup from its aligned place: the replay
        // begins with the pickup right after the repeat sign.
        WalkCase{"RepeatIncludingThePickup",
                 measure("0", one + N("G4", 1), pickup) +
                     measure("1", bar("C4") + backwardRepeat) + measure("2", N("D4", 1)),
                 joined({{{3 * Q, 55, Q, 0}},
                         barAt(4 * Q, 48),
                         {{8 * Q, 55, Q, 0}},
                         barAt(9 * Q, 48),
                         {{13 * Q, 50, Q, 0}}})},
        WalkCase{"PartWithoutMeasures", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Scores as real exports write them: ties out of a pickup bar, pickups numbered "0" without the
// implicit attribute, and MusicXML's composite time signatures (divisions 2 where an eighth is 1).
INSTANTIATE_TEST_SUITE_P(
    AsExportsWriteThem, ScoreWalk,
    testing::Values(
        // Aligning the pickup moves the held tie with its note: the stop lengthens it.
        WalkCase{"TieOutOfAPickup",
                 measure("0", one + N("C4", 1, tieStart), pickup) +
                     measure("1", N("C4", 1, tieStop) + N("D4", 1)),
                 {{3 * Q, 48, 2 * Q, 0}, {5 * Q, 50, Q, 0}}},
        WalkCase{"TieChainOutOfAPickup",
                 measure("0", one + N("C4", 1, tieStart), pickup) +
                     measure("1", N("C4", 1, tieStop + tieStart) + N("C4", 1, tieStop)),
                 {{3 * Q, 48, 3 * Q, 0}}},
        // A pickup longer than its bar moves back; the tie out of it still adds one quarter.
        WalkCase{"TieOutOfAPickupLongerThanItsBar",
                 measure("0", attributes(1, 2, 4) + N("C4", 4, tieStart), pickup) +
                     measure("1", N("C4", 1, tieStop)),
                 {{-2 * Q, 48, 5 * Q, 0}}},
        WalkCase{"MeasureZeroWithoutImplicitIsAnOrdinaryMeasure",
                 measure("0", one + N("C4", 1)) + measure("1", N("D4", 4)),
                 {{0, 48, Q, 0}, {Q, 50, 4 * Q, 0}}},
        WalkCase{"PickupInCompositeBeats",
                 measure("0", timeIn(2, beats("3+2", 8)) + N("C4", 1), pickup) +
                     measure("1", N("D4", 5)),
                 {{88200, 48, 22050, 0}, {110250, 50, 110250, 0}}},
        WalkCase{"PickupInSeveralSignatures",
                 measure("0", timeIn(2, beats("3+2", 8) + beats("3", 4)) + N("C4", 2), pickup) +
                     measure("1", N("D4", 1)),
                 {{198450, 48, Q, 0}, {242550, 50, 22050, 0}}},
        WalkCase{"SenzaMisura",
                 measure("1", timeIn(1, "<senza-misura/>") + N("C4", 1)),
                 {{0, 48, Q, 0}}},
        // Unchanged: a grace note of the main note's pitch keeps its own 0-tick record.
        WalkCase{"GraceNoteOfTheSamePitchInAPickup",
                 measure("0", one + N("C4", -1, grace) + N("C4", 1), pickup) +
                     measure("1", N("D4", 1)),
                 {{3 * Q, 48, 0, 0}, {3 * Q, 48, Q, 0}, {4 * Q, 50, Q, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScoreWalkMarks, SeveralSignaturesMakeOneBarOverTheLeastCommonBeatType) {
    struct Case {
        std::string signature;
        int64_t beatsPerMeasure, beatType, quarters;
    };
    for (const auto& c : std::vector<Case>{{beats("3+2", 8), 5, 8, 2},
                                           {beats("5", 8) + beats("3", 4), 11, 8, 5},
                                           {beats("3", 4) + beats("5", 6), 19, 12, 6},
                                           {beats("2", 4) + beats("3", 4) + beats("2", 8), 12, 8, 6},
                                           {beats("4", 4) + "<interchangeable>" + beats("2", 2) +
                                                "</interchangeable>",
                                            4, 4, 4}}) {
        JpsMusicXmlConverter converter;
        converter.parseScore(partwise(measure("1", timeIn(1, c.signature))));
        EXPECT_EQ(converter.beatsPerMeasure, c.beatsPerMeasure) << c.signature;
        EXPECT_EQ(converter.beatType, c.beatType) << c.signature;
        EXPECT_EQ(converter.quarterNotesPerBeat, c.quarters) << c.signature;
    }
    // Unmeasured music leaves the signature in force.
    JpsMusicXmlConverter converter;
    converter.parseScore(partwise(measure("1", attributes(1, 3, 4)) +
                                  measure("2", timeIn(1, "<senza-misura/>"))));
    EXPECT_EQ(converter.beatsPerMeasure, 3);
    EXPECT_EQ(converter.beatType, 4);
}

TEST(ScoreWalkRefusal, TimeSignaturesThatAreNotSums) {
    for (const std::string& signature : std::vector<std::string>
         {beats("3+", 8), beats("+", 8), beats("3++2", 8), beats("3+0", 8), beats("3+-2", 8),
          beats("3.5+2", 8), beats("3+x", 8), beats("0", 8), beats("-4", 8),
          beats("4611686018427387904+4611686018427387904", 8),
          beats("3", 8) + "<beats>2</beats>", std::string("<beat-type>8</beat-type>"),
          beats("3", 4611686018427387903) + beats("3", 4611686018427387902), std::string()}) {
        JpsMusicXmlConverter converter;
        try {
            converter.parseScore(partwise(measure("1", timeIn(1, signature))));
            ADD_FAILURE() << "converted " << signature;
        } catch (const JpsConversionError& e) {
            EXPECT_STREQ(e.what(), "Error in time node") << signature;
        }
    }
}

TEST(ScoreWalkMarks, DefaultTempoAndDynamicsComeFirst) {
    JpsMusicXmlConverter converter;
    converter.parseScore(partwise(measure("1", one)));
    ASSERT_EQ(converter.tempoObjects.size(), 1u);
    EXPECT_EQ(converter.tempoObjects[0]->start, 0);
    EXPECT_EQ(converter.tempoObjects[0]->qnpm, 120.0f);
    EXPECT_EQ(converter.tempoObjects[0]->bpm, 30.0f);
    ASSERT_EQ(converter.dynamicsObjects.size(), 1u);
    EXPECT_EQ(converter.dynamicsObjects[0]->dynamics, 60.0f);
    EXPECT_EQ(converter.beatsPerMeasure, 4);
    EXPECT_EQ(converter.beatType, 4);
}

std::string sound(const std::string& attributes) {
    return "<direction><direction-type><words>x</words></direction-type><sound " + attributes +
           "/></direction>";
}
std::string wedge(const std::string& type) {
    return "<direction><direction-type><wedge type=\"" + type + "\"/></direction-type></direction>";
}

TEST(ScoreWalkMarks, TempoAndDynamicsDirections) {
    struct Case {
        const char* name;
        std::string measures;
        std::vector<std::tuple<int64_t, float, float>> tempos;  // start, qnpm, bpm
        std::vector<std::pair<int64_t, float>> dynamics;        // start, level
    };
    const std::vector<Case> cases = {
        {"TempoAtTheStartReplacesTheDefault",
         measure("1", attributes(1, 3, 4) + sound("tempo=\"90\"") + N("C4", 3)),
         {{0, 90.0f, 30.0f}},
         {{0, 60.0f}}},
        {"LaterTempoIsAppended",
         measure("1", one + bar("C4")) + measure("2", sound("tempo=\"100\"") + bar("C4")),
         {{0, 120.0f, 30.0f}, {4 * Q, 100.0f, 25.0f}},
         {{0, 60.0f}}},
        // A score without a time signature counts bars of four quarters, as the default tempo does.
        {"TempoWithoutAnyTimeSignatureCountsFourQuartersToTheBar",
         measure("1", "<attributes><divisions>1</divisions></attributes>" + sound("tempo=\"90\"")),
         {{0, 90.0f, 22.5f}},
         {{0, 60.0f}}},
        {"TempoThatIsNotANumberIsSkipped",
         measure("1", one + sound("tempo=\"fast\"") + sound("tempo=\"nan\"")),
         {{0, 120.0f, 30.0f}},
         {{0, 60.0f}}},
        {"FractionalTempo",
         measure("1", attributes(1, 6, 8) + sound("tempo=\"73.9998\"")),
         {{0, 73.9998f, 73.9998f / 3.0f}},
         {{0, 60.0f}}},
        {"SoundDynamics",
         measure("1", one + N("C4", 2) + sound("dynamics=\"88.89\"") + N("C4", 2)),
         {{0, 120.0f, 30.0f}},
         {{0, 60.0f}, {2 * Q, 88.89f}}},
        {"DynamicsThatIsNotANumberIsZero",
         measure("1", one + sound("dynamics=\"loud\"")),
         {{0, 120.0f, 30.0f}},
         {{0, 60.0f}, {0, 0.0f}}},
        // A wedge starts at the level in force, 0 before any sound dynamics.
        {"WedgesStartAtTheLevelInForce",
         measure("1", one + wedge("crescendo") + N("C4", 1) + sound("dynamics=\"71.11\"") +
                          N("C4", 1) + wedge("diminuendo") + N("C4", 1) + wedge("stop")),
         {{0, 120.0f, 30.0f}},
         {{0, 60.0f}, {0, 0.0f}, {Q, 71.11f}, {2 * Q, 71.11f}}},
        // Marks are placed at voice 1's clock.
        {"MarksFollowVoiceOne",
         measure("1", one + N("C4", 1, voice(1)) + N("E4", 3, voice(2)) +
                          sound("tempo=\"60\" dynamics=\"50\"")),
         {{0, 120.0f, 30.0f}, {Q, 60.0f, 15.0f}},
         {{0, 60.0f}, {Q, 50.0f}}},
    };
    for (const auto& c : cases) {
        JpsMusicXmlConverter converter;
        converter.parseScore(partwise(c.measures));
        std::vector<std::tuple<int64_t, float, float>> tempos;
        for (const auto& t : converter.tempoObjects)
            tempos.emplace_back(t->start, t->qnpm, t->bpm);
        std::vector<std::pair<int64_t, float>> dynamics;
        for (const auto& d : converter.dynamicsObjects)
            dynamics.emplace_back(d->start, d->dynamics);
        EXPECT_EQ(tempos, c.tempos) << c.name;
        EXPECT_EQ(dynamics, c.dynamics) << c.name;
    }
}

// A tempo read before the first time signature (exports write it ahead of bar 1's attributes, and
// many parts have no time element at all) waits for that signature to know its bars per minute.
TEST(ScoreWalkMarks, TempoMarksReadBeforeTheFirstTimeSignature) {
    using Tempos = std::vector<std::tuple<int64_t, float, float>>;  // start, qnpm, bpm
    struct Case {
        const char* name;
        std::string earlierScore;  // walked first on the same converter, when not empty
        std::string measures;
        Tempos tempos;
        std::pair<int64_t, int64_t> info;  // beatsPerMeasure, beatType
    };
    const std::string divisionsOnly = "<attributes><divisions>1</divisions></attributes>";
    const auto tempo = [](int t) { return sound("tempo=\"" + std::to_string(t) + "\""); };
    const std::vector<Case> cases = {
        {"TempoAheadOfFourFour", "", measure("1", tempo(69) + one + N("C4", 1) + N("D4", 1)),
         {{0, 69.0f, 17.25f}}, {4, 4}},
        {"TempoAheadOfThreeFour", "", measure("1", tempo(69) + attributes(1, 3, 4) + N("C4", 1)),
         {{0, 69.0f, 23.0f}}, {3, 4}},
        {"TempoAheadOfTwoTwo", "", measure("1", tempo(200) + attributes(1, 2, 2) + N("C4", 1)),
         {{0, 200.0f, 50.0f}}, {2, 2}},
        {"NoTimeElement", "", measure("1", divisionsOnly + tempo(69) + N("C4", 1)),
         {{0, 69.0f, 17.25f}}, {0, 0}},
        {"SenzaMisuraOnly", "", measure("1", timeIn(1, "<senza-misura/>") + tempo(69) + N("C4", 1)),
         {{0, 69.0f, 17.25f}}, {0, 0}},
        // Two marks wait, the second after a note; bar 2's signature settles both.
        {"SeveralMarksWaitForABarLater", "",
         measure("1", divisionsOnly + tempo(60) + N("C4", 1) + tempo(90)) +
             measure("2", attributes(1, 3, 4) + N("C4", 3)),
         {{0, 60.0f, 20.0f}, {Q, 90.0f, 30.0f}}, {3, 4}},
        // A bar shorter than a quarter counts its exact length: 3/16 is 0.75 of a quarter.
        {"BarShorterThanAQuarter", "", measure("1", attributes(4, 3, 16) + tempo(69) + N("C4", 3)),
         {{0, 69.0f, 92.0f}}, {3, 16}},
        {"BarShorterThanAQuarterSettlesAHeldMark", "",
         measure("1", tempo(60) + attributes(2, 1, 8) + N("C4", 1)), {{0, 60.0f, 120.0f}}, {1, 8}},
        // Unchanged: whole quarters are counted from one quarter up, and a mark takes the
        // signature in force when it is read.
        {"FiveEightCountsTwoQuarters", "", measure("1", attributes(2, 5, 8) + tempo(69)),
         {{0, 69.0f, 34.5f}}, {5, 8}},
        {"LaterMarkTakesTheSignatureInForce", "",
         measure("1", one + tempo(90) + bar("C4")) +
             measure("2", tempo(60) + attributes(1, 3, 4) + N("C4", 3)),
         {{0, 90.0f, 22.5f}, {4 * Q, 60.0f, 15.0f}}, {3, 4}},
        // The signature read carries over to the next walk of the same converter; a walk that
        // read none leaves nothing to carry.
        // (A mark at tick 0 replaces the first record of the list, the earlier walk's.)
        {"SignatureOfAnEarlierWalkCarriesOver", partwise(measure("1", attributes(1, 3, 4))),
         measure("1", divisionsOnly + tempo(69)), {{0, 69.0f, 23.0f}, {0, 120.0f, 30.0f}}, {3, 4}},
        {"EarlierWalkWithoutSignature",
         partwise(measure("1", divisionsOnly + N("C4", 1) + tempo(100))),
         measure("1", tempo(200) + attributes(1, 2, 2)),
         {{0, 200.0f, 50.0f}, {Q, 100.0f, 25.0f}, {0, 120.0f, 30.0f}}, {2, 2}},
    };
    for (const auto& c : cases) {
        JpsMusicXmlConverter converter;
        if (!c.earlierScore.empty()) converter.parseScore(c.earlierScore);
        converter.parseScore(partwise(c.measures));
        Tempos tempos;
        for (const auto& t : converter.tempoObjects)
            tempos.emplace_back(t->start, t->qnpm, t->bpm);
        EXPECT_EQ(tempos, c.tempos) << c.name;
        EXPECT_EQ(std::make_pair(converter.beatsPerMeasure, converter.beatType), c.info) << c.name;
        // Every piece has a JSON form now, and where a signature was read before or after the
        // mark the notes are the same.
        const score::JPSData piece(
            std::make_shared<score::JPSInfo>(converter.beatsPerMeasure, converter.beatType),
            converter.noteObjects, converter.tempoObjects, converter.dynamicsObjects, {});
        EXPECT_NO_THROW((void)piece.json()) << c.name;
    }
    // The notes do not depend on where the tempo mark stands.
    JpsMusicXmlConverter ahead, after;
    ahead.parseScore(partwise(measure("1", tempo(69) + one + bar("C4")) + measure("2", bar("D4"))));
    after.parseScore(partwise(measure("1", one + tempo(69) + bar("C4")) + measure("2", bar("D4"))));
    EXPECT_EQ(notesOf(ahead), notesOf(after));
    EXPECT_EQ(notesOf(ahead), joined({barAt(0, 48), barAt(4 * Q, 50)}));
    EXPECT_EQ(ahead.bpm, 17.25f);  // the last mark's value, once settled
}

TEST(ScoreWalkMarks, PickupMovesNotesButNotMarks) {
    JpsMusicXmlConverter converter;
    converter.parseScore(
        partwise(measure("0", one + N("G4", 1) + sound("dynamics=\"80\""), pickup)));
    EXPECT_EQ(converter.noteObjects[0]->start, 3 * Q);
    EXPECT_EQ(converter.dynamicsObjects.back()->start, Q);
    EXPECT_EQ(converter.currentMeasureTimestamp, 4 * Q);
}

TEST(ScoreWalkMarks, TimeSignaturesGiveQuarterNotesPerMeasure) {
    for (const auto& [beats, type, quarters] : std::vector<std::tuple<int, int, int64_t>>{
             {4, 4, 4}, {3, 4, 3}, {6, 8, 3}, {2, 2, 4}, {3, 8, 1}, {5, 16, 1}}) {
        JpsMusicXmlConverter converter;
        converter.parseScore(partwise(measure("1", attributes(1, beats, type))));
        EXPECT_EQ(converter.quarterNotesPerBeat, quarters) << beats << "/" << type;
    }
}

struct RefusalCase {
    const char* name;
    std::string text;
    const char* message;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class ScoreWalkRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(ScoreWalkRefusal, FailsTheConversionWithASentence) {
    JpsMusicXmlConverter converter;
    try {
        converter.parseScore(GetParam().text);
        FAIL() << "converted";
    } catch (const JpsConversionError& e) {
        EXPECT_STREQ(e.what(), GetParam().message);
    }
}

const std::string twoParts = "<score-partwise><part id=\"P1\">" + measure("1", one + N("C4", 1)) +
                             "</part><part id=\"P2\">" + measure("1", one + N("C4", 1)) +
                             "</part></score-partwise>";

INSTANTIATE_TEST_SUITE_P(
    Cases, ScoreWalkRefusal,
    testing::Values(
        RefusalCase{"NotWellFormed",
                    "<score-partwise><part><measure number=\"1\"></part></score-partwise>",
                    "The score is not well-formed XML (error on line 1, column 44)."},
        RefusalCase{"EmptyText", "",
                    "The score is not well-formed XML (error on line 1, column 0)."},
        RefusalCase{
            "Timewise", "<score-timewise><measure number=\"1\"/></score-timewise>",
            "The score is a timewise MusicXML score; only partwise scores can be converted."},
        RefusalCase{"OtherRoot", "<container/>",
                    "The file is not a MusicXML score: its root element is not score-partwise."},
        RefusalCase{"NoPart", "<score-partwise version=\"3.1\"><part-list/></score-partwise>",
                    "The score has no part."},
        RefusalCase{"TwoParts", twoParts,
                    "The score has 2 parts; only scores with a single part can be converted."},
        RefusalCase{"MeasureWithoutNumber", partwise("<measure>" + one + "</measure>"),
                    "Missing measure number attribute"},
        RefusalCase{"RepeatWithoutDirection", partwise(measure("1", one + barline("<repeat/>"))),
                    "Missing repeat direction attribute"},
        RefusalCase{"DivisionsNotAnInteger",
                    partwise(measure("1", "<attributes><divisions>2.5</divisions></attributes>")),
                    "Error in divisions node"},
        RefusalCase{"DivisionsZero",
                    partwise(measure("1", "<attributes><divisions>0</divisions></attributes>")),
                    "Error in divisions node"},
        RefusalCase{
            "TimeWithoutBeatType",
            partwise(measure("1", "<attributes><time><beats>3</beats></time></attributes>")),
            "Error in time node"},
        RefusalCase{"BeatTypeZero", partwise(measure("1", attributes(1, 4, 0))),
                    "Error in time node"},
        RefusalCase{"BeatsTooLarge",
                    partwise(measure("1",
                                     "<attributes><time><beats>9000000000000000000</beats>"
                                     "<beat-type>1</beat-type></time></attributes>")),
                    "Error in time node"},
        RefusalCase{
            "PickupBarTooLong",
            partwise(measure("0",
                             "<attributes><divisions>1</divisions><time><beats>100000000000000000"
                             "</beats><beat-type>4</beat-type></time></attributes>",
                             pickup)),
            "Error in time node"},
        RefusalCase{"PickupWithoutTimeSignature",
                    partwise(measure("0", "<attributes><divisions>1</divisions></attributes>",
                                     pickup)),
                    "Missing time node"},
        RefusalCase{"EndingWithoutNumber",
                    partwise(measure("1", one + barline("<ending type=\"start\"/>"))),
                    "Missing ending number attribute"},
        RefusalCase{"FirstEndingWithoutType",
                    partwise(measure("1", one + barline("<ending number=\"1\"/>"))),
                    "Missing ending type attribute"},
        RefusalCase{"ReplayOverflows",
                    partwise(measure("1", one + N("C4", 100000000000000) + backwardRepeat) +
                             measure("2", N("C4", 100000000000000) + backwardRepeat)),
                    "Tick value out of range"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScoreWalkRefusal, RecordsAppendedBeforeAnErrorStayButTheWalkStops) {
    JpsMusicXmlConverter converter;
    EXPECT_THROW(converter.parseScore(partwise(measure("1", one + N("C4", 1) + N("D4", -1)) +
                                               measure("2", N("E4", 1)))),
                 JpsConversionError);
    EXPECT_EQ(notesOf(converter), (std::vector<NoteTuple>{{0, 48, Q, 0}}));
}

TEST(ScoreWalkRefusal, ANoteNumberBeyondTheKeyboardIsKept) {
    JpsMusicXmlConverter converter;
    converter.parseScore(partwise(measure("1", one + N("C9", 1, tieStart) + N("C9", 1, tieStop))));
    EXPECT_EQ(notesOf(converter), (std::vector<NoteTuple>{{0, 108, 2 * Q, 0}}));
}

}  // namespace
