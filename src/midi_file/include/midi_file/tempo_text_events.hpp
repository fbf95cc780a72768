// Payloads of the tempo (FF 51 03 tt tt tt), text (FF 01 ... FF 09, length, text) and time
// signature (FF 58 04 nn dd cc bb) meta events. Each implements the payload interface of
// payload.hpp through its members.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "midi_file/errors.hpp"
#include "midi_file/event_type.hpp"

namespace midifile {

// A tempo in quarter notes per minute. The byte form holds microseconds per quarter note in 24
// bits, which covers 3.58 ... 60,000,000 bpm: setting a tempo limits it to that range, and the
// encoder limits a tempo constructed outside it, so every tempo writes a valid event.
class Tempo {
  public:
    static constexpr MIDIFileEventType smfEventType = MIDIFileEventType::tempo;
    static constexpr double minimumBPM = 3.58;
    static constexpr double maximumBPM = 60'000'000.0;

    // 120 bpm.
    Tempo() = default;
    // Stored as given, without the limit; a NaN, which is no tempo, gives 120 bpm.
    explicit Tempo(double bpm);

    double bpm() const { return bpm_; }
    // Stores the value limited to 3.58 ... 60,000,000; a NaN leaves the tempo unchanged.
    void setBPM(double bpm);

    // 60 / bpm x 1,000,000 cut toward zero, of the bpm limited to the range above: 1 ... 16,759,776.
    uint32_t microsecondsPerQuarterNote() const;
    // Sets the bpm to 60,000,000 / value, the value limited to 1 ... 16,759,776 (0 gives
    // 60,000,000 bpm, 16,777,215 the slowest tempo that writes back as it reads).
    void setMicrosecondsPerQuarterNote(uint32_t microseconds);
    // The tempo as it reads back from a file: 60,000,000 / microsecondsPerQuarterNote().
    double encodedBPM() const;

    static DecodeResult<Tempo> tryFromRawBytes(std::span<const uint8_t> bytes);
    static Tempo fromRawBytes(std::span<const uint8_t> bytes) {
        return tryFromRawBytes(bytes).value();
    }
    static StreamDecodeResult<Tempo> decode(std::span<const uint8_t> stream);
    std::vector<uint8_t> smfRawBytes() const;
    // "120.0bpm" (rounded to 3 decimal places), "Tempo(120.0bpm)" (unrounded).
    std::string description() const;
    std::string debugDescription() const;

    friend bool operator==(const Tempo& a, const Tempo& b) { return a.bpm_ == b.bpm_; }

  private:
    double bpm_ = 120.0;
};

namespace detail {

// A text event's type and the bytes it was read from, in one word, so that a text event takes no
// more room than the largest other payload: the bytes live in a block aligned to 16 bytes, whose
// address leaves its four low bits to the type's value (1 ... 9).
class TextTypeAndReadBytes {
  public:
    explicit TextTypeAndReadBytes(TextEventType type) : bits_(static_cast<uintptr_t>(type)) {}
    TextTypeAndReadBytes(const TextTypeAndReadBytes& other);
    TextTypeAndReadBytes(TextTypeAndReadBytes&& other) noexcept;
    TextTypeAndReadBytes& operator=(const TextTypeAndReadBytes& other);
    TextTypeAndReadBytes& operator=(TextTypeAndReadBytes&& other) noexcept;
    ~TextTypeAndReadBytes();

    TextEventType type() const { return static_cast<TextEventType>(bits_ & typeMask); }
    void setType(TextEventType type) {
        bits_ = (bits_ & ~typeMask) | static_cast<uintptr_t>(type);
    }
    // The bytes as read; null when there are none.
    const std::string* readBytes() const { return block() ? &block()->bytes : nullptr; }
    void setReadBytes(std::span<const uint8_t> bytes);
    void clearReadBytes();

  private:
    struct alignas(16) Block {
        std::string bytes;
    };
    static constexpr uintptr_t typeMask = 0xF;
    Block* block() const { return reinterpret_cast<Block*>(bits_ & ~typeMask); }

    uintptr_t bits_;
};

}  // namespace detail

// Text of one of the nine text kinds, at most 65,536 characters (extended grapheme clusters).
//
// The length rule, applied by every constructor and setter: a longer text is cut to its first
// 65,536 characters and then made plain ASCII (kept when all ASCII, else transliterated from Latin
// with "?" for every character that is not printable ASCII). Ill-formed UTF-8 sequences are
// replaced by U+FFFD first, so that every stored text can be written.
//
// The bytes are the text in non-lossy ASCII (7-bit, other characters as backslash escapes), so
// every text survives a round trip; reading falls back to ASCII, then UTF-8, then "?" per byte.
// A text read from bytes that it would not write again the same way (Latin-1 or UTF-8 text,
// backslashes that are no escapes, a text cut by the length rule) keeps those bytes and writes
// them back unchanged until a different text is set; its text value may show "?" or U+FFFD
// where the bytes were not readable.
class Text {
  public:
    using EventType = TextEventType;
    static constexpr MIDIFileEventType smfEventType = MIDIFileEventType::text;
    static constexpr size_t maximumCharacterCount = 65'536;

    // Type `text`, no text.
    Text() = default;
    Text(EventType type, std::string_view text);

    static Text text(std::string_view string) { return Text(EventType::text, string); }
    static Text copyright(std::string_view string) { return Text(EventType::copyright, string); }
    static Text trackOrSequenceName(std::string_view string) {
        return Text(EventType::trackOrSequenceName, string);
    }
    static Text instrumentName(std::string_view string) {
        return Text(EventType::instrumentName, string);
    }
    static Text lyric(std::string_view string) { return Text(EventType::lyric, string); }
    static Text marker(std::string_view string) { return Text(EventType::marker, string); }
    static Text cuePoint(std::string_view string) { return Text(EventType::cuePoint, string); }
    static Text programName(std::string_view string) {
        return Text(EventType::programName, string);
    }
    static Text deviceName(std::string_view string) { return Text(EventType::deviceName, string); }

    EventType textType() const { return typeAndReadBytes_.type(); }
    void setTextType(EventType type) { typeAndReadBytes_.setType(type); }
    const std::string& string() const { return text_; }
    void setString(std::string_view text);

    static DecodeResult<Text> tryFromRawBytes(std::span<const uint8_t> bytes);
    static Text fromRawBytes(std::span<const uint8_t> bytes) {
        return tryFromRawBytes(bytes).value();
    }
    static StreamDecodeResult<Text> decode(std::span<const uint8_t> stream);
    std::vector<uint8_t> smfRawBytes() const;
    // trackOrSequenceName: "Piano"; Text(trackOrSequenceName: "Piano").
    std::string description() const;
    std::string debugDescription() const;

    // The type and the text; bytes kept from reading do not count.
    friend bool operator==(const Text& a, const Text& b) {
        return a.textType() == b.textType() && a.text_ == b.text_;
    }

  private:
    static StreamDecodeResult<Text> parse(std::span<const uint8_t> bytes);

    std::string text_;
    // With the text's bytes as read, when they differ from what text_ writes.
    detail::TextTypeAndReadBytes typeAndReadBytes_{EventType::text};
};

// A meter: beats per bar, the beat's note value as a power of two (2 is a quarter, 3 an eighth),
// MIDI clocks per metronome click and 32nd notes per quarter note. No field is validated.
struct TimeSignature {
    static constexpr MIDIFileEventType smfEventType = MIDIFileEventType::timeSignature;

    uint8_t numerator = 4;
    uint8_t denominator = 2;
    uint8_t midiClocksBetweenMetronomeClicks = 24;
    uint8_t numberOf32ndNotesInAQuarterNote = 8;

    static DecodeResult<TimeSignature> tryFromRawBytes(std::span<const uint8_t> bytes);
    static TimeSignature fromRawBytes(std::span<const uint8_t> bytes) {
        return tryFromRawBytes(bytes).value();
    }
    static StreamDecodeResult<TimeSignature> decode(std::span<const uint8_t> stream);
    std::vector<uint8_t> smfRawBytes() const;
    // "timeSig: 6/8"; "TimeSignature(timeSig: 6/8. clocks:24, 32ndsToAQuarter:8)".
    std::string description() const;
    std::string debugDescription() const;

    friend bool operator==(const TimeSignature&, const TimeSignature&) = default;
};

}  // namespace midifile

template <>
struct std::hash<midifile::Tempo> {
    // +0.0 and -0.0 are equal tempos and hash alike.
    size_t operator()(const midifile::Tempo& tempo) const {
        return std::hash<double>{}(tempo.bpm() + 0.0);
    }
};
template <>
struct std::hash<midifile::Text> {
    size_t operator()(const midifile::Text& text) const;
};
template <>
struct std::hash<midifile::TimeSignature> {
    size_t operator()(const midifile::TimeSignature& signature) const;
};
