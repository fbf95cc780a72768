#include "midi_file/tempo_text_events.hpp"

#include <algorithm>

#include <charconv>
#include <cmath>

#include "hashing.hpp"
#include "meta_codec.hpp"
#include "midi_support/numeric.hpp"
#include "midi_support/strings.hpp"
#include "midi_support/text_encoding.hpp"
#include "textservices/unicode.hpp"

namespace midifile {

using Reason = DecodeFailure::Reason;
using detail::Bytes;

namespace {

double limitedBPM(double bpm) {
    if (bpm < Tempo::minimumBPM) return Tempo::minimumBPM;
    if (bpm > Tempo::maximumBPM) return Tempo::maximumBPM;
    return bpm;
}

// The shortest decimal text that reads back as `value`, in positional form with at least one
// fraction digit ("120.0", "33.333") for magnitudes from 1e-4 up to 2^53, in exponent form
// beyond.
std::string shortestText(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buffer[64];
    const double magnitude = std::fabs(value);
    const bool positional = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 9007199254740992.0);
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      positional ? std::chars_format::fixed
                                                 : std::chars_format::scientific);
    std::string text(buffer, result.ptr);
    if (positional && text.find('.') == std::string::npos) text += ".0";
    return text;
}

// 2 to the power `exponent` in decimal, exactly.
std::string powerOfTwoText(unsigned exponent) {
    std::string digits = "1";  // least significant digit first
    for (unsigned i = 0; i < exponent; ++i) {
        int carry = 0;
        for (char& digit : digits) {
            const int doubled = (digit - '0') * 2 + carry;
            digit = static_cast<char>('0' + doubled % 10);
            carry = doubled / 10;
        }
        if (carry != 0) digits += static_cast<char>('0' + carry);
    }
    return {digits.rbegin(), digits.rend()};
}

// The length rule of text events, after ill-formed UTF-8 has been replaced.
std::string lengthLimited(std::string_view text) {
    std::string wellFormed;
    if (!textservices::isWellFormedUtf8(text)) {
        const auto bytes = std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        wellFormed = textservices::decodeUtf8(bytes, textservices::Decoding::replacing).text;
        text = wellFormed;
    }
    const std::string_view kept = midisupport::characterPrefix(text, Text::maximumCharacterCount);
    if (kept.size() == text.size()) return std::string(text);
    return midisupport::asciiStringLossy(kept);
}

}  // namespace

StreamDecodeResult<Text> Text::parse(Bytes bytes) {
    if (bytes.size() < 3) return DecodeFailure(Reason::notEnoughBytes);
    std::optional<TextEventType> type;
    for (TextEventType candidate : allCases<TextEventType>()) {
        const auto prefix = textEventPrefix(candidate);
        if (bytes[0] == prefix[0] && bytes[1] == prefix[1]) type = candidate;
    }
    if (!type) return DecodeFailure(Reason::notTextual);
    const auto body = detail::readLengthPrefixedBody(bytes, Reason::fewerTextBytesAvailable);
    if (!body) return body.failure();
    const Bytes data = body->data;
    // 7-bit bytes without a backslash are the text itself and write back as they are, unless
    // the length rule cuts them.
    const bool plain =
        std::ranges::none_of(data, [](uint8_t b) { return b >= 0x80 || b == '\\'; });
    Text text;
    text.setTextType(*type);
    if (plain && data.size() <= maximumCharacterCount) {
        text.text_.assign(data.begin(), data.end());
    } else {
        text.text_ = lengthLimited(midisupport::nonLossyASCIIStringWithFallback(data));
        if (!plain || text.text_.size() != data.size()) text.typeAndReadBytes_.setReadBytes(data);
    }
    return Decoded<Text>{std::move(text), body->byteCount};
}

// Tempo.

Tempo::Tempo(double bpm) : bpm_(std::isnan(bpm) ? 120.0 : bpm) {}

void Tempo::setBPM(double bpm) {
    if (std::isnan(bpm) || bpm == bpm_) return;
    bpm_ = limitedBPM(bpm);
}

uint32_t Tempo::microsecondsPerQuarterNote() const {
    // Within the limit the quotient lies in 1 ... 16,759,776, so the conversion is defined. A
    // quotient a rounding error below a whole number is that number: a tempo read from n
    // microseconds writes n again instead of n - 1.
    const double microseconds = 60.0 / limitedBPM(bpm_) * 1'000'000.0;
    const double nearest = std::round(microseconds);
    if (std::fabs(microseconds - nearest) < 1e-6) return static_cast<uint32_t>(nearest);
    return static_cast<uint32_t>(microseconds);
}

void Tempo::setMicrosecondsPerQuarterNote(uint32_t microseconds) {
    // Limited to the counts that a tempo within the bpm limit writes, so that the tempo read from
    // a count writes that count again and reads back unchanged.
    const uint32_t limited = std::clamp<uint32_t>(microseconds, 1, 16'759'776);
    setBPM(60'000'000.0 / static_cast<double>(limited));
}

double Tempo::encodedBPM() const {
    return 60'000'000.0 / static_cast<double>(microsecondsPerQuarterNote());
}

DecodeResult<Tempo> Tempo::tryFromRawBytes(Bytes bytes) {
    const auto value = detail::fixedMetaValueBytes(bytes, smfEventType, 6);
    if (!value) return value.failure();
    Tempo tempo;
    tempo.setMicrosecondsPerQuarterNote(static_cast<uint32_t>((*value)[0] << 16 |
                                                              (*value)[1] << 8 | (*value)[2]));
    return tempo;
}

StreamDecodeResult<Tempo> Tempo::decode(Bytes stream) {
    return detail::decodeFixedLength<Tempo>(stream, 6);
}

std::vector<uint8_t> Tempo::smfRawBytes() const {
    const uint32_t microseconds = microsecondsPerQuarterNote();
    return detail::fixedMetaBytes(smfEventType, {static_cast<uint8_t>(microseconds >> 16),
                                                 static_cast<uint8_t>(microseconds >> 8),
                                                 static_cast<uint8_t>(microseconds)});
}

std::string Tempo::description() const {
    return shortestText(midisupport::rounded(
               bpm_, midisupport::RoundingRule::toNearestOrAwayFromZero, 3)) +
           "bpm";
}

std::string Tempo::debugDescription() const { return "Tempo(" + shortestText(bpm_) + "bpm)"; }

// Text.

namespace detail {

TextTypeAndReadBytes::TextTypeAndReadBytes(const TextTypeAndReadBytes& other)
    : bits_(other.bits_ & typeMask) {
    if (other.block()) bits_ |= reinterpret_cast<uintptr_t>(new Block(*other.block()));
}

TextTypeAndReadBytes::TextTypeAndReadBytes(TextTypeAndReadBytes&& other) noexcept
    : bits_(std::exchange(other.bits_, other.bits_ & typeMask)) {}

TextTypeAndReadBytes& TextTypeAndReadBytes::operator=(const TextTypeAndReadBytes& other) {
    if (this != &other) *this = TextTypeAndReadBytes(other);
    return *this;
}

TextTypeAndReadBytes& TextTypeAndReadBytes::operator=(TextTypeAndReadBytes&& other) noexcept {
    if (this != &other) {
        delete block();
        bits_ = std::exchange(other.bits_, other.bits_ & typeMask);
    }
    return *this;
}

TextTypeAndReadBytes::~TextTypeAndReadBytes() { delete block(); }

void TextTypeAndReadBytes::setReadBytes(Bytes bytes) {
    clearReadBytes();
    auto* made = new Block{std::string(bytes.begin(), bytes.end())};
    bits_ |= reinterpret_cast<uintptr_t>(made);
}

void TextTypeAndReadBytes::clearReadBytes() {
    delete block();
    bits_ &= typeMask;
}

}  // namespace detail

Text::Text(EventType type, std::string_view text)
    : text_(lengthLimited(text)), typeAndReadBytes_(type) {}

void Text::setString(std::string_view text) {
    if (text == text_) return;
    text_ = lengthLimited(text);
    typeAndReadBytes_.clearReadBytes();
}

DecodeResult<Text> Text::tryFromRawBytes(Bytes bytes) {
    auto decoded = parse(bytes);
    if (!decoded) return decoded.failure();
    return std::move(decoded).value().payload;
}

StreamDecodeResult<Text> Text::decode(Bytes stream) { return parse(stream); }

std::vector<uint8_t> Text::smfRawBytes() const {
    const auto type = static_cast<uint8_t>(textType());
    if (const std::string* read = typeAndReadBytes_.readBytes()) {
        return detail::lengthPrefixedBytes(
            type, Bytes(reinterpret_cast<const uint8_t*>(read->data()), read->size()));
    }
    // Every stored text is well-formed UTF-8, which non-lossy ASCII can always hold.
    const std::vector<uint8_t> encoded = midisupport::nonLossyASCIIData(text_);
    return detail::lengthPrefixedBytes(type, encoded);
}

std::string Text::description() const {
    return std::string(rawValue(textType())) + ": " + midisupport::quoted(text_);
}

std::string Text::debugDescription() const { return "Text(" + description() + ")"; }

// Time signature.

DecodeResult<TimeSignature> TimeSignature::tryFromRawBytes(Bytes bytes) {
    const auto value = detail::fixedMetaValueBytes(bytes, smfEventType, 7);
    if (!value) return value.failure();
    const Bytes fields = *value;
    return TimeSignature{fields[0], fields[1], fields[2], fields[3]};
}

StreamDecodeResult<TimeSignature> TimeSignature::decode(Bytes stream) {
    return detail::decodeFixedLength<TimeSignature>(stream, 7);
}

std::vector<uint8_t> TimeSignature::smfRawBytes() const {
    return detail::fixedMetaBytes(smfEventType, {numerator, denominator,
                                                 midiClocksBetweenMetronomeClicks,
                                                 numberOf32ndNotesInAQuarterNote});
}

std::string TimeSignature::description() const {
    return "timeSig: " + std::to_string(numerator) + "/" + powerOfTwoText(denominator);
}

std::string TimeSignature::debugDescription() const {
    return "TimeSignature(" + description() + ". clocks:" +
           std::to_string(midiClocksBetweenMetronomeClicks) +
           ", 32ndsToAQuarter:" + std::to_string(numberOf32ndNotesInAQuarterNote) + ")";
}

}  // namespace midifile

size_t std::hash<midifile::Text>::operator()(const midifile::Text& text) const {
    return midifile::detail::Hasher()
        .combine(midifile::rawValue(text.textType()))
        .combine(text.string())
        .value();
}

size_t std::hash<midifile::TimeSignature>::operator()(
    const midifile::TimeSignature& signature) const {
    return midifile::detail::Hasher()
        .combine(signature.numerator)
        .combine(signature.denominator)
        .combine(signature.midiClocksBetweenMetronomeClicks)
        .combine(signature.numberOf32ndNotesInAQuarterNote)
        .value();
}
