// Conversion of one MusicXML note element onto its voice's clock.

#include <algorithm>

#include "musicxml_reading.hpp"
#include "score/musicxml_converter.hpp"

namespace score {

using detail::addTicks;
using detail::attributeText;
using detail::fail;
using detail::firstChild;
using xmlindexing::XMLElement;

namespace {

// The note number of a pitch element: 12 × octave + the step's semitone + the alteration.
int64_t noteNumberOf(const XMLElement& pitch) {
    const auto* step = firstChild(pitch, "step");
    const auto* octave = firstChild(pitch, "octave");
    if (!step || !octave) fail("Error in pitch node");
    // The step's index in noteSteps; "x" only fills the semitones without a step name.
    const std::string stepText = step->text();
    const std::string_view stepName = detail::trimmed(stepText);
    int64_t semitone = -1;
    for (size_t i = 0; i < JpsMusicXmlConverter::noteSteps.size(); ++i) {
        if (stepName != "x" && stepName == JpsMusicXmlConverter::noteSteps[i]) {
            semitone = static_cast<int64_t>(i);
            break;
        }
    }
    if (semitone < 0) fail("Error in pitch node");
    int64_t alteration = 0;
    if (const auto* alter = firstChild(pitch, "alter")) {
        const auto value = detail::integerOf(alter->text());
        if (!value) fail("Error in pitch node");
        alteration = *value;
    }
    const auto octaveNumber = detail::integerOf(octave->text());
    if (!octaveNumber) fail("Error in pitch node");
    int64_t number = 0;
    if (__builtin_mul_overflow(*octaveNumber, int64_t{12}, &number) ||
        __builtin_add_overflow(number, semitone, &number) ||
        __builtin_add_overflow(number, alteration, &number))
        fail("Error in pitch node");
    return number;
}

// The integer of a duration element's text; a negative length is refused.
int64_t durationOf(const XMLElement& duration) {
    const auto value = detail::integerOf(duration.text());
    if (!value || *value < 0) fail("Error in duration node");
    return *value;
}

bool isArpeggiated(const XMLElement& note) {
    for (const auto& child : note.childElements())
        if (child->name() == "notations" && firstChild(*child, "arpeggiate")) return true;
    return false;
}

}  // namespace

int64_t JpsMusicXmlConverter::ticksOf(int64_t duration) const {
    if (divisions == 0) fail("Missing divisions node");
    // Computed in 64-bit floating point and truncated toward zero: 1 of 24 divisions is 1837.
    const double ticks = static_cast<double>(duration) / static_cast<double>(divisions) *
                         static_cast<double>(SampleRate);
    if (!(ticks > -9223372036854775808.0 && ticks < 9223372036854775808.0))
        fail("Tick value out of range");
    return static_cast<int64_t>(ticks);
}

void JpsMusicXmlConverter::parseNote(const xmlindexing::XMLIndexer& note) {
    const auto element = note.element();
    if (!element || element->name() != "note") fail("Error in note node");
    if (currentVoiceTimestamp.size() != NoOfVoices) currentVoiceTimestamp.assign(NoOfVoices, 0);
    if (previousDuration.size() != NoOfVoices) previousDuration.assign(NoOfVoices, 0);
    if (arpeggioOffset_.size() != NoOfVoices) arpeggioOffset_.assign(NoOfVoices, 0);
    convertNote(*element);
}

void JpsMusicXmlConverter::convertNote(const XMLElement& note) {
    size_t voice = 0;
    if (const auto* voiceElement = firstChild(note, "voice")) {
        const auto number = detail::integerOf(voiceElement->text());
        if (!number || *number < 1 || *number > NoOfVoices) fail("Error in voice node");
        voice = static_cast<size_t>(*number - 1);
    }
    // Single-staff parts may leave the staff out: it is staff 1.
    int64_t staff = 1;
    if (const auto* staffElement = firstChild(note, "staff")) {
        const auto number = detail::integerOf(staffElement->text());
        if (!number || *number < 1) fail("Error in staff node");
        staff = *number;
    }
    int64_t& clock = currentVoiceTimestamp[voice];

    const auto* pitch = firstChild(note, "pitch");
    if (!pitch) {  // a rest, or an unpitched note: only time passes
        const auto* duration = firstChild(note, "duration");
        if (!duration) fail("Missing duration node");
        clock = addTicks(clock, ticksOf(durationOf(*duration)));
        return;
    }

    // A chord note sounds with the previous note of its voice: it goes back to that note's start.
    // An arpeggio staggers the chord's own notes by 100, 300, 600... ticks; the voice goes on
    // from the chord's start.
    const bool isChord = firstChild(note, "chord") != nullptr;
    int64_t base = clock;
    if (isChord) {
        ++currentChordNoteIndex;
        base = detail::subtractTicks(clock, previousDuration[voice]);
        if (isArpeggiated(note)) {
            int64_t stagger = 0;
            if (__builtin_mul_overflow(currentChordNoteIndex, int64_t{100}, &stagger))
                fail("Tick value out of range");
            arpeggioOffset_[voice] = addTicks(arpeggioOffset_[voice], stagger);
        }
    } else {
        currentChordNoteIndex = 0;
        arpeggioOffset_[voice] = 0;
    }
    const int64_t start = addTicks(base, arpeggioOffset_[voice]);

    const int64_t noteNumber = noteNumberOf(*pitch);
    const bool isGrace = firstChild(note, "grace") != nullptr;
    int64_t ticks = 0;
    if (!isGrace) {
        const auto* duration = firstChild(note, "duration");
        if (!duration) fail("Missing duration node");
        ticks = ticksOf(durationOf(*duration));
    }
    auto record = std::make_shared<NoteObject>(start, noteNumber, ticks, staff - 1);

    // A note is a duplicate when one with the same start and note number is listed already; a
    // grace note does not hide the main note of the same pitch that follows it.
    const IndexedNotes* listed = findIndexed(start, noteNumber);
    const NoteRef sameNote = listed ? (isGrace ? listed->first : listed->firstMain) : nullptr;
    const bool isDuplicate = sameNote != nullptr;

    bool tieStart = false, tieStop = false;
    for (const auto& child : note.childElements()) {
        if (child->name() != "tie") continue;
        const auto type = attributeText(*child, "type");
        if (!type) fail("Missing tie type attribute");
        tieStart = tieStart || *type == "start";
        tieStop = tieStop || *type == "stop";
    }
    bool extended = false;
    if (tieStop) {
        // The note held in this voice; only when this voice holds none of this pitch, the one
        // held latest in another voice (a tie may cross voices).
        auto held = tieBuffer_.find({static_cast<int64_t>(voice), noteNumber});
        if (held == tieBuffer_.end()) {
            for (int64_t other = 0; other < NoOfVoices; ++other) {
                const auto it = tieBuffer_.find({other, noteNumber});
                if (it != tieBuffer_.end() &&
                    (held == tieBuffer_.end() || it->second.order > held->second.order))
                    held = it;
            }
        }
        if (held != tieBuffer_.end()) {
            // The chain grows by this note's length. Each voice counts its own chain, so a note
            // that two voices tie at once (a duplicate) lasts as long as the longer chain.
            HeldTie chain = held->second;
            chain.end = addTicks(chain.end, ticks);
            chain.note->duration =
                std::max(chain.note->duration, detail::subtractTicks(chain.end, chain.note->start));
            extended = true;
            tieBuffer_.erase(held);
            // A note in the middle of a chain (stop and start) carries it on.
            if (tieStart) {
                chain.order = ++tieOrder_;
                tieBuffer_[{static_cast<int64_t>(voice), noteNumber}] = chain;
            }
        }
    }
    if (tieStart && !extended) {
        // A duplicate's tie extends the note that stands in the list.
        tieBuffer_[{static_cast<int64_t>(voice), noteNumber}] =
            HeldTie{isDuplicate ? sameNote : record, ++tieOrder_, addTicks(start, ticks)};
    }

    if (!extended && !isDuplicate) {
        noteObjects.push_back(record);
        indexNote(record, isGrace);
        if (isInRepeatSection) repeatSectionNotes.push_back(record);
    }

    clock = addTicks(base, ticks);
    previousDuration[voice] = ticks;
}

void JpsMusicXmlConverter::indexNote(const NoteRef& note, bool grace) {
    int64_t key = 0;
    if (__builtin_sub_overflow(note->start, indexShift_, &key)) return;
    auto& entry = noteIndex_[NoteKey{key, note->note}];
    if (!entry.first) entry.first = note;
    if (!grace && !entry.firstMain) entry.firstMain = note;
}

const JpsMusicXmlConverter::IndexedNotes* JpsMusicXmlConverter::findIndexed(int64_t start,
                                                                            int64_t note) const {
    int64_t key = 0;
    if (__builtin_sub_overflow(start, indexShift_, &key)) return nullptr;
    const auto it = noteIndex_.find(NoteKey{key, note});
    return it == noteIndex_.end() ? nullptr : &it->second;
}

}  // namespace score
