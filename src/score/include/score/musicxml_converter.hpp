// The converter of MusicXML scores: a partwise score with one part, as a plain file or inside a
// compressed `.mxl` container, becomes the lists of the converter base and so a piece document.
//
// The walk keeps one clock per voice (the tick at which the voice's next note starts), reads
// divisions, time signatures, tempo and dynamics directions and wedges, replays repeat sections
// after a backward repeat, leaves first endings out of a replay, aligns a pickup bar to the end of
// a full bar, and converts every note: rests, chords, arpeggios, grace notes, ties, duplicates.
// Every input it cannot convert ends the conversion with a JpsConversionError sentence.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "score/converter.hpp"

namespace xmlindexing {
class XMLElement;
class XMLIndexer;
}  // namespace xmlindexing

namespace score {

class JpsMusicXmlConverter : public MusicConverter {
  public:
    static constexpr int64_t KeyCount = 88;
    static constexpr int64_t SampleRate = ticksPerQuarterNote;
    static constexpr int64_t NoOfVoices = 8;
    // Step names by semitone above C; "x" where a semitone has no step of its own.
    static constexpr std::array<std::string_view, 12> noteSteps = {"C", "x", "D", "x", "E", "F",
                                                                   "x", "G", "x", "A", "x", "B"};
    // The largest score text taken in, plain or decompressed.
    static constexpr size_t maximumScoreSize = size_t{256} << 20;
    // The most memory the element tree of one score may take. With the score text beside it, a
    // conversion stays under 1 GiB whatever the input; real scores need a small part of it.
    static constexpr size_t maximumTreeSize = size_t{512} << 20;

    JpsMusicXmlConverter() = default;

    // Loads the file (an "mxl" extension, in lower case, means a compressed container; anything
    // else is read as text) and walks it with parseScore(). Errors: ScoreFileError for a file that
    // cannot be read as text, the ZIP library's errors for a broken container, JpsConversionError
    // for anything that is not a convertible score.
    void convert(const std::filesystem::path& url) override;

    // Walks a MusicXML text, appending to the converter's lists. Throws JpsConversionError only.
    void parseScore(std::string_view text);
    // Converts one "note" element on the walk's state. Throws JpsConversionError.
    void parseNote(const xmlindexing::XMLIndexer& note);

    // Measures-per-minute value of the last tempo mark.
    float bpm = 120.0f;
    // Divisions per quarter note in force; 0 until the score gives them.
    int64_t divisions = 0;
    // Quarter notes in one measure of the current time signature.
    int64_t quarterNotesPerBeat = 0;
    // Level of the last sound dynamics value.
    float currentDynamics = 0.0f;
    // Per voice, the tick at which its next note starts.
    std::vector<int64_t> currentVoiceTimestamp;
    // Per voice, the length of the last pitched note placed.
    std::vector<int64_t> previousDuration;
    // Tick at which the current measure (or the last replay) ends.
    int64_t currentMeasureTimestamp = 0;
    // The notes recorded since the current repeat section began (the same objects as in
    // noteObjects), and whether new notes are recorded.
    std::vector<NoteRef> repeatSectionNotes;
    bool isInRepeatSection = false;
    // Position of the current note within its chord.
    int64_t currentChordNoteIndex = 0;

  private:
    void walkMeasure(const xmlindexing::XMLElement& measure);
    void readAttributes(const xmlindexing::XMLElement& attributes);
    void readDirection(const xmlindexing::XMLElement& direction);
    void readBarline(const xmlindexing::XMLElement& barline);
    void readTempo(float qnpm);
    void settleHeldTempos();
    std::optional<float> quartersPerBar() const;
    void convertNote(const xmlindexing::XMLElement& note);
    void alignPickupMeasure();
    void replayRepeatSection();
    void startRepeatSection();
    int64_t latestVoiceClock() const;
    void setAllVoiceClocks(int64_t tick);
    int64_t ticksOf(int64_t duration) const;

    // The duplicate test: records of noteObjects by (start, note number), so that a note need not
    // be compared with every note before it. Keys are taken relative to `indexShift`, the sum of
    // pickup shifts applied to every note after it was indexed.
    struct NoteKey {
        int64_t start;
        int64_t note;
        bool operator==(const NoteKey&) const = default;
    };
    struct NoteKeyHash {
        size_t operator()(const NoteKey& key) const;
    };
    struct IndexedNotes {
        NoteRef first;      // the first record with this start and note number
        NoteRef firstMain;  // the first that is not a grace note, if any
    };
    // The records by key: open addressing over a power-of-two number of slots, kept at most half
    // full, so that a look-up mostly reads one slot.
    class NoteIndex {
      public:
        IndexedNotes& operator[](const NoteKey& key);
        const IndexedNotes* find(const NoteKey& key) const;
        void clear();

      private:
        struct Slot {
            NoteKey key{0, 0};
            IndexedNotes notes;
            bool used = false;
        };
        std::vector<Slot> slots_;
        size_t count_ = 0;
    };
    void indexNote(const NoteRef& note, bool grace);
    const IndexedNotes* findIndexed(int64_t start, int64_t note) const;
    NoteIndex noteIndex_;
    int64_t indexShift_ = 0;

    // Held ties by (voice, note number): the record that a tie started and that a "stop" extends,
    // and where this voice's chain ends so far.
    struct HeldTie {
        NoteRef note;
        uint64_t order;  // when it was held, to find the latest among several voices
        int64_t end;
    };
    std::map<std::pair<int64_t, int64_t>, HeldTie> tieBuffer_;
    uint64_t tieOrder_ = 0;

    // The length of one bar of the last time signature read, in quarter notes and exactly; 0 until
    // a time signature has been read. It carries over between walks, as quarterNotesPerBeat does.
    float barQuarters_ = 0.0f;
    // Tempo marks of this walk read before any time signature: each waits for the first one to
    // know its bars per minute, and meanwhile holds the value of a bar of four quarters, which it
    // keeps when the walk reads none.
    std::vector<TempoRef> heldTempos_;

    // Per voice, how far an arpeggio has staggered the current chord's notes from its start.
    std::vector<int64_t> arpeggioOffset_;
    // The bar line at which the recorded section began, and the tick at which recording stopped
    // (a first ending began); a replay spans exactly that stretch.
    int64_t sectionStart_ = 0;
    int64_t sectionStop_ = 0;
};

}  // namespace score
