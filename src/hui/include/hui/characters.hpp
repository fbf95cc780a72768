// The character sets of the three kinds of display on an HUI surface: the large display (two lines
// of 40), the four-character small displays and the eight-character time display. A character is
// a 7-bit code of its set; each code has a display string, the text that stands for it in strings,
// logs and user interfaces.
//
// Every set is a class holding one code, with its characters as named constants
// (`HUILargeDisplayCharacter::space`). What the sets share comes from HUICharacter:
//   - rawValue(), fromRawValue(UInt7), fromByte(uint8_t): the code and back;
//   - string() / description(): the display string;
//   - fromString(text): the character whose display string equals the whole text under Unicode
//     canonical equivalence, the lowest code winning where entries repeat;
//   - stringTable(): the display strings in code order, made once on first use;
//   - allCases(): every character in code order.
// defaultChar() pads display strings; unknownChar() stands for text the set cannot show.
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "midi_core/unsigned_integer.hpp"

namespace hui {

namespace detail {

// A set's display strings with their canonical compositions, for lookups of text.
class CharacterTable {
  public:
    explicit CharacterTable(std::vector<std::string> entries);

    const std::vector<std::string>& entries() const { return entries_; }
    // The lowest code whose entry is canonically equivalent to `text`.
    std::optional<std::uint8_t> find(std::string_view text) const;

  private:
    std::vector<std::string> entries_;
    std::vector<std::string> composed_;
};

// What every character set derives from.
struct CharacterSetBase {};

template <class T>
concept CharacterSet = std::derived_from<T, CharacterSetBase>;

}  // namespace detail

// The shared part of a character set `Derived` of `Count` codes (0 ... Count - 1), padded with
// the character of `DefaultCode`, showing text it lacks as the character of `UnknownCode`.
// `Derived` provides the named constants as `enum Value` and table().
template <class Derived, std::uint8_t Count, std::uint8_t DefaultCode, std::uint8_t UnknownCode>
class HUICharacter : public detail::CharacterSetBase {
  public:
    static constexpr std::size_t caseCount = Count;

    static constexpr Derived defaultChar() { return fromCode(DefaultCode); }
    static constexpr Derived unknownChar() { return fromCode(UnknownCode); }

    constexpr midicore::UInt7 rawValue() const { return midicore::UInt7::truncating(code_); }

    // The character with that code; none when the set has no such code.
    static constexpr std::optional<Derived> fromRawValue(midicore::UInt7 code) {
        if (code.value() >= Count) return std::nullopt;
        return fromCode(code.value());
    }
    // None for a byte above 127 or a code the set does not have.
    static constexpr std::optional<Derived> fromByte(std::uint8_t byte) {
        const auto code = midicore::UInt7::exactly(byte);
        if (!code) return std::nullopt;
        return fromRawValue(*code);
    }
    // The character whose display string is canonically equivalent to the whole of `text`.
    static std::optional<Derived> fromString(std::string_view text) {
        const auto code = Derived::table().find(text);
        if (!code) return std::nullopt;
        return fromCode(*code);
    }

    const std::string& string() const { return Derived::table().entries()[code_]; }
    std::string description() const { return string(); }
    static const std::vector<std::string>& stringTable() { return Derived::table().entries(); }

    static constexpr std::array<Derived, Count> allCases() {
        return [&]<std::size_t... codes>(std::index_sequence<codes...>) {
            return std::array<Derived, Count>{fromCode(codes)...};
        }
        (std::make_index_sequence<Count>());
    }

    // Equal and hashed by code (a member hash() would clash with the character named `hash`).
    friend constexpr bool operator==(const Derived& a, const Derived& b) {
        return a.code_ == b.code_;
    }

    friend std::ostream& operator<<(std::ostream& out, const Derived& character) {
        return out << '"' << character.string() << "\" (code " << int{character.code_} << ')';
    }

  protected:
    explicit constexpr HUICharacter(std::uint8_t code) : code_(code) {}
    // The padding character.
    constexpr HUICharacter() : code_(DefaultCode) {}

  private:
    // `code` is below Count.
    static constexpr Derived fromCode(std::size_t code) {
        return Derived(static_cast<typename Derived::Value>(code));
    }

    std::uint8_t code_;
};

// The names of the printable ASCII characters 0x20 ... 0x7D, the same in the large and small sets.
#define HUI_DETAIL_ASCII_CHARACTERS                                                                \
    space, exclamationPoint, doubleQuote, hash, dollar, percent, ampersand, apostrophe,            \
        openParens, closeParens, asterisk, plus, comma, minus, period, forwardSlash, num0, num1,   \
        num2, num3, num4, num5, num6, num7, num8, num9, colon, semicolon, leftAngleBracket, equal, \
        rightAngleBracket, question, at, A, B, C, D, E, F, G, H, I, J, K, L, M, N, O, P, Q, R, S,  \
        T, U, V, W, X, Y, Z, leftSquareBracket, backSlash, rightSquareBracket, caret, underscore,  \
        backtick, a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, p, q, r, s, t, u, v, w, x, y, z,    \
        leftBrace, pipe, rightBrace

// The large display's set: 0x00-0x0F show nothing, 0x10-0x1F are symbols and two-letter marks,
// 0x20-0x7D printable ASCII, 0x7E and 0x7F arrows.
class HUILargeDisplayCharacter : public HUICharacter<HUILargeDisplayCharacter, 128, 0x20, 0x3F> {
  public:
    // clang-format off
    enum Value : std::uint8_t {
        empty0x00, empty0x01, empty0x02, empty0x03, empty0x04, empty0x05, empty0x06, empty0x07,
        empty0x08, empty0x09, empty0x0A, empty0x0B, empty0x0C, empty0x0D, empty0x0E, empty0x0F,
        num11, num12, num13, num14, full, r4, r3, r2, r1, musicNote, degreesCelsius,
        degreesFahrenheit, solidDownArrow, solidRightArrow, solidLeftArrow, solidUpArrow,
        HUI_DETAIL_ASCII_CHARACTERS,
        rightArrow, leftArrow
    };
    // clang-format on

    constexpr HUILargeDisplayCharacter(Value value) : HUICharacter(value) {}
    constexpr HUILargeDisplayCharacter() = default;

    static const detail::CharacterTable& table();
};
static_assert(HUILargeDisplayCharacter::space == 0x20 &&
              HUILargeDisplayCharacter::leftArrow == 0x7F);

// The small displays' set: 0x00-0x1F arrows and letters of Western European languages, 0x20-0x7E
// printable ASCII, 0x7F a shaded square.
class HUISmallDisplayCharacter : public HUICharacter<HUISmallDisplayCharacter, 128, 0x20, 0x3F> {
  public:
    // clang-format off
    enum Value : std::uint8_t {
        iGrave, upArrow, rightArrow, downArrow, leftArrow, invertedQuestion, aGrave, OStroke,
        oStroke, oGrave, uGrave, NCaron, CCedilla, eCircumflex, EAcute, eAcute, eGrave, AE, ae,
        ARing, aRing, ADiaeresis, aDiaeresis, ODiaeresis, oDiaeresis, UDiaeresis, uDiaeresis,
        degreesCelsius, degreesFahrenheit, sharpS, pound, yen,
        HUI_DETAIL_ASCII_CHARACTERS,
        tilde, shadedSquare
    };
    // clang-format on

    constexpr HUISmallDisplayCharacter(Value value) : HUICharacter(value) {}
    constexpr HUISmallDisplayCharacter() = default;

    static const detail::CharacterTable& table();
};
static_assert(HUISmallDisplayCharacter::space == 0x20 &&
              HUISmallDisplayCharacter::shadedSquare == 0x7F);

#undef HUI_DETAIL_ASCII_CHARACTERS

// The time display's set of 49 codes: hexadecimal digits, the same with a dot, a space, fifteen
// codes shown as "?" and a space with a dot.
class HUITimeDisplayCharacter : public HUICharacter<HUITimeDisplayCharacter, 49, 0x20, 0x21> {
  public:
    // clang-format off
    enum Value : std::uint8_t {
        num0, num1, num2, num3, num4, num5, num6, num7, num8, num9, A, B, C, D, E, F,
        num0dot, num1dot, num2dot, num3dot, num4dot, num5dot, num6dot, num7dot, num8dot, num9dot,
        Adot, Bdot, Cdot, Ddot, Edot, Fdot,
        space,
        unknown0x21, unknown0x22, unknown0x23, unknown0x24, unknown0x25, unknown0x26, unknown0x27,
        unknown0x28, unknown0x29, unknown0x2A, unknown0x2B, unknown0x2C, unknown0x2D, unknown0x2E,
        unknown0x2F,
        spaceDot
    };
    // clang-format on

    constexpr HUITimeDisplayCharacter(Value value) : HUICharacter(value) {}
    constexpr HUITimeDisplayCharacter() = default;

    static const detail::CharacterTable& table();

    // Whether the character shows a dot after it (0x10-0x1F and 0x30).
    constexpr bool hasDot() const {
        const auto code = rawValue().value();
        return (code >= num0dot && code <= Fdot) || code == spaceDot;
    }
};
static_assert(HUITimeDisplayCharacter::space == 0x20 && HUITimeDisplayCharacter::spaceDot == 0x30);

}  // namespace hui

template <hui::detail::CharacterSet Character>
struct std::hash<Character> {
    std::size_t operator()(Character c) const {
        return std::hash<std::uint8_t>{}(c.rawValue().value());
    }
};
