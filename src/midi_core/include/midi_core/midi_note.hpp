// A MIDI note: the note number 0...127 with the octave-numbering style it is shown and parsed in.
// Notes convert between numbers, pitch-class names with octaves, note text such as "C#4" and
// frequencies. Equality, ordering and hashing look at the number alone.
//
// Styles: middle C (60) reads C3 in `yamaha` (the default), C4 in `roland` and C5 in `cakewalk`.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "midi_core/unsigned_integer.hpp"

namespace midicore {

struct MIDINoteRange;

// A closed range of note numbers, walked upward one number at a time. A range whose upper bound
// is below its lower bound is empty.
struct MIDINoteNumberRange {
    UInt7 lowerBound;
    UInt7 upperBound;

    class iterator {
      public:
        using value_type = UInt7;
        using difference_type = std::ptrdiff_t;
        using iterator_category = std::forward_iterator_tag;
        iterator() = default;
        explicit iterator(int number) : number_(number) {}
        UInt7 operator*() const { return UInt7::truncating(number_); }
        iterator& operator++() {
            ++number_;
            return *this;
        }
        iterator operator++(int) {
            iterator before = *this;
            ++number_;
            return before;
        }
        friend bool operator==(const iterator& a, const iterator& b) {
            return a.number_ == b.number_;
        }

      private:
        int number_ = 0;
    };
    iterator begin() const { return iterator(lowerBound.value()); }
    iterator end() const { return iterator(lowerBound.value() + static_cast<int>(count())); }
    constexpr bool contains(UInt7 number) const {
        return lowerBound <= number && number <= upperBound;
    }
    // How many numbers the range holds.
    constexpr std::size_t count() const {
        return upperBound < lowerBound ? 0
                                       : std::size_t{upperBound.value()} - lowerBound.value() + 1;
    }
    friend constexpr bool operator==(const MIDINoteNumberRange&,
                                     const MIDINoteNumberRange&) = default;
};

class MIDINote {
  public:
    // Octave numbering: the octave of note 0 is -2, -1 or 0.
    enum class Style : uint8_t { yamaha, roland, cakewalk };
    static constexpr std::array<Style, 3> allStyles{Style::yamaha, Style::roland, Style::cakewalk};

    // The pitch class, in the order A, A#, B, C, ... G#.
    enum class Name : uint8_t { A, A_sharp, B, C, C_sharp, D, D_sharp, E, F, F_sharp, G, G_sharp };
    static constexpr std::array<Name, 12> allNames{
        Name::A,       Name::A_sharp, Name::B, Name::C,       Name::C_sharp, Name::D,
        Name::D_sharp, Name::E,       Name::F, Name::F_sharp, Name::G,       Name::G_sharp};

    // The accidental signs: the text output uses one of a pair, the parsers accept all four.
    static constexpr std::string_view sharpSymbol = "#";
    static constexpr std::string_view sharpSymbolUnicode = "\u266F";
    static constexpr std::string_view flatSymbol = "b";
    static constexpr std::string_view flatSymbolUnicode = "\u266D";

    // Thrown by the constructions from integers, names, text and frequencies.
    class NoteError : public std::runtime_error {
      public:
        enum class Case : uint8_t { outOfBounds, malformedNoteName };
        explicit NoteError(Case errorCase);
        Case errorCase() const { return case_; }
        friend bool operator==(const NoteError& a, const NoteError& b) {
            return a.case_ == b.case_;
        }
        size_t hash() const { return std::hash<int>{}(static_cast<int>(case_)); }

      private:
        Case case_;
    };

    UInt7 number;
    Style style = Style::yamaha;

    // Note 0 in the default style.
    constexpr MIDINote() = default;
    // A plain note number becomes a note of the default style.
    constexpr MIDINote(UInt7 number, Style style = Style::yamaha) : number(number), style(style) {}

    // Throws outOfBounds when the number lies outside 0...127.
    template <detail::IntegerSource T>
    static MIDINote fromNumber(T number, Style style = Style::yamaha) {
        const auto exact = UInt7::exactly(number);
        if (!exact) throw NoteError(NoteError::Case::outOfBounds);
        return MIDINote(*exact, style);
    }
    // (octave - firstOctaveOffset) * 12 + semitoneOffset; throws outOfBounds outside 0...127.
    static MIDINote fromNameAndOctave(Name name, int64_t octave, Style style = Style::yamaha);
    // Parses note text such as "C3", "F#-1", "Bb4" (setNumberParsing).
    static MIDINote fromString(std::string_view text, Style style = Style::yamaha);
    // The nearest note at 440 Hz tuning (setNumberFromFrequency).
    static MIDINote fromFrequency(double hertz, Style style = Style::yamaha);

    // These change the number only, reading it in the note's own style; when they throw the note
    // is left unchanged.
    void setNumber(Name name, int64_t octave);
    // The first character must be one of "ABCDEFG" (else malformedNoteName); the name runs to the
    // first accidental sign in the text, or is the letter alone when there is none; a name that is
    // no pitch class is malformedNoteName. The rest must be a decimal integer (optional sign) that
    // is an octave of the style; otherwise, or when the note leaves 0...127, outOfBounds.
    // Characters are Unicode scalars; ill-formed UTF-8 is a malformed name.
    void setNumberParsing(std::string_view text);
    // log2(hertz / tuning) * 12 + 69 rounded half away from zero; outOfBounds outside 0...127
    // and for zero, negative or non-finite frequencies and tunings.
    void setNumberFromFrequency(double hertz, double tuning = 440.0);

    // Pitch class and octave as text: "C#3", "Db3", or with the Unicode signs.
    std::string stringValue(bool flats = false, bool unicodeAccidentals = false) const;
    // stringValue with sharps and Unicode signs.
    std::string description() const { return stringValue(false, true); }
    // "Note(C3 number:60)".
    std::string debugDescription() const;

    struct NameAndOctave {
        Name name;
        int64_t octave;
        friend bool operator==(const NameAndOctave&, const NameAndOctave&) = default;
    };
    NameAndOctave nameAndOctave() const { return nameAndOctave(number, style); }
    static NameAndOctave nameAndOctave(UInt7 number, Style style);
    int64_t octave() const { return nameAndOctave().octave; }
    // A black key: the pitch class is 1, 3, 6, 8 or 10 semitones above C.
    bool isSharp() const;

    // 2^((number - 69) / 12) * tuning.
    double frequencyValue(double tuning = 440.0) const;

    // other.number - number.
    constexpr int64_t distance(MIDINote to) const { return number.distance(to.number); }
    // The same style with the number moved by n, saturating at 0 and 127.
    constexpr MIDINote advanced(int64_t by) const {
        const int64_t n = number.value();
        if (by <= -n) return MIDINote(UInt7(0), style);
        if (by >= 127 - n) return MIDINote(UInt7(127), style);
        return MIDINote(UInt7::truncating(n + by), style);
    }

    friend constexpr bool operator==(MIDINote a, MIDINote b) { return a.number == b.number; }
    friend constexpr std::strong_ordering operator<=>(MIDINote a, MIDINote b) {
        return a.number <=> b.number;
    }
    size_t hash() const { return number.hash(); }

    // 0...127, and the 88 piano keys 21...108.
    static constexpr MIDINoteRange allNotes(Style style = Style::yamaha);
    static constexpr MIDINoteRange allPianoNotes(Style style = Style::yamaha);
    static std::vector<MIDINote> allNotesArray(Style style = Style::yamaha);
    static constexpr UInt7 allNoteNumbersLowerBound = UInt7(0);
    static constexpr UInt7 allNoteNumbersUpperBound = UInt7(127);
    static constexpr UInt7 allPianoNoteNumbersLowerBound = UInt7(21);
    static constexpr UInt7 allPianoNoteNumbersUpperBound = UInt7(108);
    static constexpr MIDINoteNumberRange allNoteNumbers{allNoteNumbersLowerBound,
                                                        allNoteNumbersUpperBound};
    static constexpr MIDINoteNumberRange allPianoNoteNumbers{allPianoNoteNumbersLowerBound,
                                                             allPianoNoteNumbersUpperBound};
};

// A closed range of notes, walked upward one number at a time; every note has the style of the
// lower bound. A range whose upper bound is below its lower bound is empty.
struct MIDINoteRange {
    MIDINote lowerBound;
    MIDINote upperBound;

    class iterator {
      public:
        using value_type = MIDINote;
        using difference_type = std::ptrdiff_t;
        using iterator_category = std::forward_iterator_tag;
        iterator() = default;
        iterator(int number, MIDINote::Style style) : numbers_(number), style_(style) {}
        iterator(MIDINoteNumberRange::iterator numbers, MIDINote::Style style)
            : numbers_(numbers), style_(style) {}
        MIDINote operator*() const { return MIDINote(*numbers_, style_); }
        iterator& operator++() {
            ++numbers_;
            return *this;
        }
        iterator operator++(int) {
            iterator before = *this;
            ++numbers_;
            return before;
        }
        friend bool operator==(const iterator& a, const iterator& b) {
            return a.numbers_ == b.numbers_;
        }

      private:
        MIDINoteNumberRange::iterator numbers_;
        MIDINote::Style style_ = MIDINote::Style::yamaha;
    };
    iterator begin() const { return {numbers().begin(), lowerBound.style}; }
    iterator end() const { return {numbers().end(), lowerBound.style}; }
    constexpr bool contains(MIDINote note) const {
        return lowerBound <= note && note <= upperBound;
    }
    // The note numbers of the range.
    constexpr MIDINoteNumberRange numbers() const { return {lowerBound.number, upperBound.number}; }
};

constexpr MIDINoteRange MIDINote::allNotes(Style style) {
    return {MIDINote(allNoteNumbers.lowerBound, style), MIDINote(allNoteNumbers.upperBound, style)};
}
constexpr MIDINoteRange MIDINote::allPianoNotes(Style style) {
    return {MIDINote(allPianoNoteNumbers.lowerBound, style),
            MIDINote(allPianoNoteNumbers.upperBound, style)};
}

// The octave of note 0: -2, -1 or 0.
constexpr int64_t firstOctaveOffset(MIDINote::Style style) {
    return static_cast<int64_t>(style) - 2;
}
// "Yamaha (Middle C == C3)" and so on.
std::string description(MIDINote::Style style);

// Semitones above C: A is 9, A# 10, B 11, C 0, ... G# 8.
constexpr int64_t semitoneOffset(MIDINote::Name name) {
    constexpr std::array<int64_t, 12> offsets{9, 10, 11, 0, 1, 2, 3, 4, 5, 6, 7, 8};
    return offsets[static_cast<size_t>(name)];
}
constexpr bool isSharp(MIDINote::Name name) {
    const auto offset = semitoneOffset(name);
    return offset == 1 || offset == 3 || offset == 6 || offset == 8 || offset == 10;
}
// A natural's letter; a sharp's letter and sharp sign, or with `flats` the next letter up and a
// flat sign ("A#" or "Bb"), with "#"/"b" or the Unicode signs.
std::string stringValue(MIDINote::Name name, bool flats = false, bool unicodeAccidentals = false);
// The pitch class a text names: a letter A-G in either case, optionally followed by an accidental
// sign; characters after the second are not looked at. E# gives F and Fb gives E; B# and Cb name
// nothing.
std::optional<MIDINote::Name> noteName(std::string_view text);

// 2^((number - 69) / 12) * tuning.
double noteFrequency(int64_t number, double tuning = 440.0);
// round(log2(hertz / tuning) * 12 + 69), not range-checked; none when the result is not a finite
// number within the signed 64-bit range (zero, negative or non-finite inputs).
std::optional<int64_t> noteNumber(double hertz, double tuning = 440.0);

}  // namespace midicore

template <>
struct std::hash<midicore::MIDINote> {
    size_t operator()(const midicore::MIDINote& note) const { return note.hash(); }
};
