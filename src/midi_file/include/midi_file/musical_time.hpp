// A tick position of a file with a musical time base, as bar, beat, beat division and remaining
// ticks under a meter of beats per bar, divisions per beat and ticks per beat (ppq).
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace midifile {

class MusicalTimeValue {
  public:
    // Stores the position fields as given; beatsPerBar and ppq at least 1, divisionsPerBeat at
    // least 0 (0: the meter has no divisions).
    MusicalTimeValue(int64_t bar, int64_t beat, int64_t beatDivision, int64_t ticks,
                     int64_t beatsPerBar, int64_t divisionsPerBeat, int64_t ppq,
                     bool isNegative = false);

    // The position of a signed tick count: its magnitude split into whole bars, beats into the
    // bar, divisions into the beat and ticks into the division; isNegative for a count below 0.
    // Any count is accepted: the magnitude of the most negative one, a bar length beyond the
    // integer range and more divisions than ticks per beat (a division is then one tick) are
    // handled without overflow.
    static MusicalTimeValue fromTicks(int64_t ticks, int64_t beatsPerBar, int64_t divisionsPerBeat,
                                      int64_t ppq);

    int64_t bar;           // whole bars from the start
    int64_t beat;          // whole beats into the bar
    int64_t beatDivision;  // whole divisions into the beat (0 without divisions)
    int64_t ticks;         // remaining ticks
    bool isNegative;       // before zero; the fields above hold the magnitude

    int64_t beatsPerBar() const { return beatsPerBar_; }
    int64_t divisionsPerBeat() const { return divisionsPerBeat_; }
    int64_t ppq() const { return ppq_; }

    // The signed tick count back; saturates at the integer range.
    int64_t totalTicks() const;
    // The position in beats, negative before zero.
    double totalBeats() const;
    // The ticks from the start of the current beat; saturates at the integer range.
    int64_t ticksInBeat() const;

    // Bar, beat, beat division (when the meter has divisions or `alwaysShowBeatDivision`) and
    // ticks in decimal, joined by `separator`; a position before zero starts with "-".
    std::string stringValue(const std::string& separator = " ",
                            bool alwaysShowBeatDivision = false) const;
    std::string description() const { return stringValue(); }

    // By position in beats, whatever the meters.
    friend bool operator==(const MusicalTimeValue& a, const MusicalTimeValue& b) {
        return a.totalBeats() == b.totalBeats();
    }
    friend std::partial_ordering operator<=>(const MusicalTimeValue& a,
                                             const MusicalTimeValue& b) {
        return a.totalBeats() <=> b.totalBeats();
    }
    size_t hash() const { return std::hash<double>{}(totalBeats() + 0.0); }

  private:
    // Ticks per division: ppq / divisionsPerBeat, at least 1.
    int64_t ticksPerDivision() const;

    int64_t beatsPerBar_;
    int64_t divisionsPerBeat_;
    int64_t ppq_;
};

}  // namespace midifile

template <>
struct std::hash<midifile::MusicalTimeValue> {
    size_t operator()(const midifile::MusicalTimeValue& value) const { return value.hash(); }
};
