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
using namespace std::string_view_literals;

namespace {

// Keeps `child` as the first of its kind, unless one came before it.
void keepFirst(const XMLElement*& first, const XMLElement& child) {
    if (!first) first = &child;
}

// The element children of a note that the conversion reads, found in one pass over its children:
// the first of each kind, and what its chord, grace, arpeggio and tie marks say.
struct NoteParts {
    const XMLElement* voice = nullptr;
    const XMLElement* staff = nullptr;
    const XMLElement* pitch = nullptr;
    const XMLElement* duration = nullptr;
    bool chord = false;
    bool grace = false;
    bool arpeggiated = false;  // some notations child holds an arpeggiate mark
    bool tieStart = false;
    bool tieStop = false;
    bool tieWithoutType = false;

    explicit NoteParts(const XMLElement& note) {
        detail::prefetchChildren(note);
        detail::forEachChildElement(note, [&](const XMLElement& child) {
            const std::string& name = child.name();
            if (name == "pitch"sv) {
                keepFirst(pitch, child);
            } else if (name == "duration"sv) {
                keepFirst(duration, child);
            } else if (name == "voice"sv) {
                keepFirst(voice, child);
            } else if (name == "staff"sv) {
                keepFirst(staff, child);
            } else if (name == "chord"sv) {
                chord = true;
            } else if (name == "grace"sv) {
                grace = true;
            } else if (name == "notations"sv) {
                arpeggiated = arpeggiated || firstChild(child, "arpeggiate") != nullptr;
            } else if (name == "tie"sv) {
                const auto type = attributeText(child, "type");
                if (!type) {
                    tieWithoutType = true;
                } else {
                    tieStart = tieStart || *type == "start";
                    tieStop = tieStop || *type == "stop";
                }
            }
        });
    }
};

// The note number of a pitch element: 12 × octave + the step's semitone + the alteration.
int64_t noteNumberOf(const XMLElement& pitch) {
    const XMLElement* step = nullptr;
    const XMLElement* octave = nullptr;
    const XMLElement* alter = nullptr;
    detail::forEachChildElement(pitch, [&](const XMLElement& child) {
        const std::string& name = child.name();
        if (name == "step"sv)
            keepFirst(step, child);
        else if (name == "octave"sv)
            keepFirst(octave, child);
        else if (name == "alter"sv)
            keepFirst(alter, child);
    });
    if (!step || !octave) fail("Error in pitch node");
    std::string storage;
    // The step's index in noteSteps; "x" only fills the semitones without a step name.
    const std::string_view stepName = detail::trimmed(detail::textOf(*step, storage));
    int64_t semitone = -1;
    for (size_t i = 0; i < JpsMusicXmlConverter::noteSteps.size(); ++i) {
        if (stepName != "x" && stepName == JpsMusicXmlConverter::noteSteps[i]) {
            semitone = static_cast<int64_t>(i);
            break;
        }
    }
    if (semitone < 0) fail("Error in pitch node");
    int64_t alteration = 0;
    if (alter) {
        const auto value = detail::integerOf(detail::textOf(*alter, storage));
        if (!value) fail("Error in pitch node");
        alteration = *value;
    }
    const auto octaveNumber = detail::integerOf(detail::textOf(*octave, storage));
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
    std::string storage;
    const auto value = detail::integerOf(detail::textOf(duration, storage));
    if (!value || *value < 0) fail("Error in duration node");
    return *value;
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
    const NoteParts parts(note);
    std::string storage;
    size_t voice = 0;
    if (parts.voice) {
        const auto number = detail::integerOf(detail::textOf(*parts.voice, storage));
        if (!number || *number < 1 || *number > NoOfVoices) fail("Error in voice node");
        voice = static_cast<size_t>(*number - 1);
    }
    // Single-staff parts may leave the staff out: it is staff 1.
    int64_t staff = 1;
    if (parts.staff) {
        const auto number = detail::integerOf(detail::textOf(*parts.staff, storage));
        if (!number || *number < 1) fail("Error in staff node");
        staff = *number;
    }
    int64_t& clock = currentVoiceTimestamp[voice];

    if (!parts.pitch) {  // a rest, or an unpitched note: only time passes
        if (!parts.duration) fail("Missing duration node");
        clock = addTicks(clock, ticksOf(durationOf(*parts.duration)));
        return;
    }

    // A chord note sounds with the previous note of its voice: it goes back to that note's start.
    // An arpeggio staggers the chord's own notes by 100, 300, 600... ticks; the voice goes on
    // from the chord's start.
    int64_t base = clock;
    if (parts.chord) {
        ++currentChordNoteIndex;
        base = detail::subtractTicks(clock, previousDuration[voice]);
        if (parts.arpeggiated) {
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

    const int64_t noteNumber = noteNumberOf(*parts.pitch);
    const bool isGrace = parts.grace;
    int64_t ticks = 0;
    if (!isGrace) {
        if (!parts.duration) fail("Missing duration node");
        ticks = ticksOf(durationOf(*parts.duration));
    }
    auto record = std::make_shared<NoteObject>(start, noteNumber, ticks, staff - 1);

    // A note is a duplicate when one with the same start and note number is listed already; a
    // grace note does not hide the main note of the same pitch that follows it.
    const IndexedNotes* listed = findIndexed(start, noteNumber);
    const NoteRef sameNote = listed ? (isGrace ? listed->first : listed->firstMain) : nullptr;
    const bool isDuplicate = sameNote != nullptr;

    if (parts.tieWithoutType) fail("Missing tie type attribute");
    const bool tieStart = parts.tieStart, tieStop = parts.tieStop;
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

JpsMusicXmlConverter::IndexedNotes& JpsMusicXmlConverter::NoteIndex::operator[](
    const NoteKey& key) {
    if ((count_ + 1) * 2 > slots_.size()) {
        std::vector<Slot> old = std::move(slots_);
        slots_ = std::vector<Slot>(std::max<size_t>(64, old.size() * 2));
        count_ = 0;
        for (Slot& slot : old)
            if (slot.used) (*this)[slot.key] = std::move(slot.notes);
    }
    const size_t mask = slots_.size() - 1;
    for (size_t at = NoteKeyHash()(key) & mask;; at = (at + 1) & mask) {
        Slot& slot = slots_[at];
        if (!slot.used) {
            slot.used = true;
            slot.key = key;
            ++count_;
            return slot.notes;
        }
        if (slot.key == key) return slot.notes;
    }
}

const JpsMusicXmlConverter::IndexedNotes* JpsMusicXmlConverter::NoteIndex::find(
    const NoteKey& key) const {
    if (slots_.empty()) return nullptr;
    const size_t mask = slots_.size() - 1;
    for (size_t at = NoteKeyHash()(key) & mask;; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (!slot.used) return nullptr;
        if (slot.key == key) return &slot.notes;
    }
}

void JpsMusicXmlConverter::NoteIndex::clear() {
    slots_.clear();
    count_ = 0;
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
    return noteIndex_.find(NoteKey{key, note});
}

}  // namespace score
