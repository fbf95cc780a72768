#include "midi_core/midi_note.hpp"

#include <charconv>
#include <cmath>

#include "textservices/unicode.hpp"

namespace midicore {

namespace {

using Name = MIDINote::Name;
using NoteError = MIDINote::NoteError;

const char* noteErrorText(NoteError::Case errorCase) {
    switch (errorCase) {
        case NoteError::Case::outOfBounds:
            return "Operation resulted in a MIDI note that is out of bounds (invalid).";
        case NoteError::Case::malformedNoteName:
            return "An unexpected or malformed note name was encountered and could not be "
                   "parsed.";
    }
    return "";
}

[[noreturn]] void throwNoteError(NoteError::Case errorCase) {
    throw NoteError(errorCase);
}

// Pitch class 0 (C) ... 11 (B) to the name.
constexpr std::array<Name, 12> namesByPitchClass{
    Name::C,       Name::C_sharp, Name::D,       Name::D_sharp, Name::E,       Name::F,
    Name::F_sharp, Name::G,       Name::G_sharp, Name::A,       Name::A_sharp, Name::B};

enum class Accidental { none, sharp, flat };

Accidental accidentalOf(char32_t scalar) {
    if (scalar == U'#' || scalar == U'\u266F') return Accidental::sharp;
    if (scalar == U'b' || scalar == U'\u266D') return Accidental::flat;
    return Accidental::none;
}

// The Unicode scalars of a text; none when it is not well-formed UTF-8.
std::optional<std::vector<std::pair<char32_t, size_t>>> scalarsWithOffsets(std::string_view text) {
    std::vector<std::pair<char32_t, size_t>> scalars;
    for (size_t at = 0; at < text.size();) {
        const auto step = textservices::nextScalar(text, at);
        if (!step.wellFormed()) return std::nullopt;
        scalars.emplace_back(step.scalar, at);
        at += step.length;
    }
    return scalars;
}

// The name that a letter and an accidental give: B# and Cb give none.
std::optional<Name> nameOf(char32_t letter, Accidental accidental) {
    int pitchClass = 0;
    switch (letter) {
        case U'C':
            pitchClass = 0;
            break;
        case U'D':
            pitchClass = 2;
            break;
        case U'E':
            pitchClass = 4;
            break;
        case U'F':
            pitchClass = 5;
            break;
        case U'G':
            pitchClass = 7;
            break;
        case U'A':
            pitchClass = 9;
            break;
        case U'B':
            pitchClass = 11;
            break;
        default:
            return std::nullopt;
    }
    if (accidental == Accidental::sharp) {
        if (letter == U'B') return std::nullopt;
        pitchClass += 1;
    } else if (accidental == Accidental::flat) {
        if (letter == U'C') return std::nullopt;
        pitchClass -= 1;
    }
    return namesByPitchClass[static_cast<size_t>(pitchClass)];
}

// A whole decimal integer with an optional leading sign and digits only, in the signed 64-bit
// range.
std::optional<int64_t> wholeInteger(std::string_view text) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) return std::nullopt;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    // Parsed with the sign so that the most negative value fits.
    std::string signedDigits = negative ? "-" : "";
    signedDigits += digits;
    int64_t value = 0;
    const auto [end, error] =
        std::from_chars(signedDigits.data(), signedDigits.data() + signedDigits.size(), value);
    if (error != std::errc() || end != signedDigits.data() + signedDigits.size()) {
        return std::nullopt;
    }
    return value;
}

// The note number of a name in an octave, or none outside 0...127 (no overflow for any octave).
std::optional<UInt7> numberOf(Name name, int64_t octave, MIDINote::Style style) {
    const int64_t offset = firstOctaveOffset(style);
    // Octaves beyond these give numbers outside 0...127 whatever the name.
    if (octave < offset - 1 || octave > offset + 11) return std::nullopt;
    return UInt7::exactly((octave - offset) * 12 + semitoneOffset(name));
}

}  // namespace

MIDINote::NoteError::NoteError(Case errorCase)
    : std::runtime_error(noteErrorText(errorCase)), case_(errorCase) {}

std::string description(MIDINote::Style style) {
    switch (style) {
        case MIDINote::Style::yamaha:
            return "Yamaha (Middle C == C3)";
        case MIDINote::Style::roland:
            return "Roland (Middle C == C4)";
        case MIDINote::Style::cakewalk:
            return "Cakewalk (Middle C == C5)";
    }
    return "";
}

std::string stringValue(MIDINote::Name name, bool flats, bool unicodeAccidentals) {
    static constexpr std::array<std::string_view, 12> sharps{"A",  "A#", "B", "C",  "C#", "D",
                                                             "D#", "E",  "F", "F#", "G",  "G#"};
    static constexpr std::array<std::string_view, 12> flatNames{"A",  "Bb", "B", "C",  "Db", "D",
                                                                "Eb", "E",  "F", "Gb", "G",  "Ab"};
    const auto index = static_cast<size_t>(name);
    const std::string_view text = flats ? flatNames[index] : sharps[index];
    std::string out(text.substr(0, 1));
    if (text.size() > 1) {
        if (flats) {
            out += unicodeAccidentals ? MIDINote::flatSymbolUnicode : MIDINote::flatSymbol;
        } else {
            out += unicodeAccidentals ? MIDINote::sharpSymbolUnicode : MIDINote::sharpSymbol;
        }
    }
    return out;
}

std::optional<MIDINote::Name> noteName(std::string_view text) {
    if (text.empty()) return std::nullopt;
    const auto first = textservices::nextScalar(text, 0);
    if (!first.wellFormed()) return std::nullopt;
    char32_t letter = first.scalar;
    if (letter >= U'a' && letter <= U'z') letter = letter - U'a' + U'A';
    Accidental accidental = Accidental::none;
    if (first.length < text.size()) {
        const auto second = textservices::nextScalar(text, first.length);
        accidental = second.wellFormed() ? accidentalOf(second.scalar) : Accidental::none;
        if (accidental == Accidental::none) return std::nullopt;
    }
    return nameOf(letter, accidental);
}

MIDINote MIDINote::fromNameAndOctave(Name name, int64_t octave, Style style) {
    MIDINote note(UInt7(0), style);
    note.setNumber(name, octave);
    return note;
}

MIDINote MIDINote::fromString(std::string_view text, Style style) {
    MIDINote note(UInt7(0), style);
    note.setNumberParsing(text);
    return note;
}

MIDINote MIDINote::fromFrequency(double hertz, Style style) {
    MIDINote note(UInt7(0), style);
    note.setNumberFromFrequency(hertz);
    return note;
}

void MIDINote::setNumber(Name name, int64_t octave) {
    const auto result = numberOf(name, octave, style);
    if (!result) throwNoteError(NoteError::Case::outOfBounds);
    number = *result;
}

void MIDINote::setNumberParsing(std::string_view text) {
    const auto scalars = scalarsWithOffsets(text);
    if (!scalars || scalars->empty()) throwNoteError(NoteError::Case::malformedNoteName);
    const char32_t letter = scalars->front().first;
    if (letter < U'A' || letter > U'G') throwNoteError(NoteError::Case::malformedNoteName);

    // The name runs from the letter to the first accidental anywhere in the text.
    size_t nameEnd = 1;
    for (size_t i = 0; i < scalars->size(); ++i) {
        if (accidentalOf((*scalars)[i].first) != Accidental::none) {
            nameEnd = i + 1;
            break;
        }
    }
    const size_t octaveOffset =
        nameEnd < scalars->size() ? (*scalars)[nameEnd].second : text.size();
    const auto name = noteName(text.substr(0, octaveOffset));
    if (!name) throwNoteError(NoteError::Case::malformedNoteName);

    const auto octave = wholeInteger(text.substr(octaveOffset));
    const int64_t first = firstOctaveOffset(style);
    if (!octave || *octave < first || *octave > first + 10) {
        throwNoteError(NoteError::Case::outOfBounds);
    }
    setNumber(*name, *octave);
}

void MIDINote::setNumberFromFrequency(double hertz, double tuning) {
    const auto result = noteNumber(hertz, tuning);
    if (!result) throwNoteError(NoteError::Case::outOfBounds);
    const auto exact = UInt7::exactly(*result);
    if (!exact) throwNoteError(NoteError::Case::outOfBounds);
    number = *exact;
}

MIDINote::NameAndOctave MIDINote::nameAndOctave(UInt7 number, Style style) {
    const int64_t n = number.value();
    return {namesByPitchClass[static_cast<size_t>(n % 12)], n / 12 + firstOctaveOffset(style)};
}

std::string MIDINote::stringValue(bool flats, bool unicodeAccidentals) const {
    const auto [name, octave] = nameAndOctave();
    return midicore::stringValue(name, flats, unicodeAccidentals) + std::to_string(octave);
}

std::string MIDINote::debugDescription() const {
    return "Note(" + description() + " number:" + number.description() + ")";
}

bool MIDINote::isSharp() const {
    return midicore::isSharp(nameAndOctave().name);
}

double MIDINote::frequencyValue(double tuning) const {
    return noteFrequency(number.value(), tuning);
}

std::vector<MIDINote> MIDINote::allNotesArray(Style style) {
    const MIDINoteRange range = allNotes(style);
    return {range.begin(), range.end()};
}

double noteFrequency(int64_t number, double tuning) {
    return std::exp2((static_cast<double>(number) - 69.0) / 12.0) * tuning;
}

std::optional<int64_t> noteNumber(double hertz, double tuning) {
    const double x = std::round(std::log2(hertz / tuning) * 12.0 + 69.0);
    // 2^63 is the first double beyond the signed 64-bit range; NaN fails both tests.
    constexpr double limit = 9223372036854775808.0;
    if (!(x >= -limit && x < limit)) return std::nullopt;
    return static_cast<int64_t>(x);
}

}  // namespace midicore
