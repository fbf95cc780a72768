// Fixed-length display strings: the text of one line of the large display (40 characters), of a
// small display (4) or of the time display (8), as characters of that display's set. A display
// string always holds exactly its length: whatever is stored in it is cut or padded with the
// set's default character (a space).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "hui/characters.hpp"
#include "hui/detail/hash_feed.hpp"
#include "midi_core/unsigned_integer.hpp"
#include "midi_support/collections.hpp"

namespace hui {

namespace detail {

// The characters of `text` in the set of `Element`, at most `length` of them: each user-perceived
// character looked up alone, the unknown character where the set has none. Defined for the large
// and small sets.
template <class Element>
std::vector<Element> charactersFromText(std::string_view text, std::size_t length);

// The time display's characters of `text`, at most eight (see HUIDisplayString's text
// constructor).
std::vector<HUITimeDisplayCharacter> timeCharactersFromText(std::string_view text);

template <class Element, std::size_t Length>
constexpr std::array<Element, Length> filled(Element element) {
    std::array<Element, Length> chars{};
    chars.fill(element);
    return chars;
}

}  // namespace detail

// A display string of `Length` characters of the set `Element`.
template <class Element, std::size_t Length>
class HUIDisplayString {
  public:
    using Chars = std::array<Element, Length>;

    static constexpr std::size_t length = Length;
    // `length` default characters.
    static constexpr Chars defaultChars() {
        return detail::filled<Element, Length>(Element::defaultChar());
    }

    // `length` default characters.
    constexpr HUIDisplayString() : chars_(defaultChars()) {}

    // The first `length` user-perceived characters of `text`, each looked up alone in the set
    // (so "full" gives f, u, l, l in the large set), the unknown character where the set has no
    // equal one, padded to `length`. Ill-formed UTF-8 counts as U+FFFD.
    //
    // The time display instead walks the text producing up to eight characters: a character
    // followed by "." is looked up with the dot ("1." gives the dotted 1); a dot with nothing
    // before it is a step of its own; text without a character gives a space. The empty text
    // gives zeroTimeDisplayChars (00.00.00.00).
    explicit HUIDisplayString(std::string_view text)
        : HUIDisplayString(fromChars(charactersFromText(text))) {}

    // `chars` validated: cut to `length`, or padded with default characters.
    static constexpr HUIDisplayString fromChars(std::span<const Element> chars) {
        HUIDisplayString string;
        string.setChars(chars);
        return string;
    }

    constexpr const Chars& chars() const { return chars_; }
    // Stores `chars` validated.
    constexpr void setChars(std::span<const Element> chars) { chars_ = validate(chars); }
    constexpr void setChars(const Chars& chars) { chars_ = chars; }
    // Hands the characters to `modify` as an array it may change in place, then stores the result
    // validated (so characters appended beyond `length` are dropped).
    template <class Modify>
    void modifyChars(Modify&& modify) {
        std::vector<Element> chars(chars_.begin(), chars_.end());
        std::invoke(std::forward<Modify>(modify), chars);
        setChars(chars);
    }

    // The first `length` characters of `chars`, padded with default characters when fewer.
    static constexpr Chars validate(std::span<const Element> chars) {
        Chars out = defaultChars();
        std::copy_n(chars.begin(), std::min(chars.size(), Length), out.begin());
        return out;
    }

    // The display strings of the characters joined: characters that show nothing add nothing,
    // multi-character entries add all their text.
    std::string stringValue() const {
        std::string text;
        for (const Element& c : chars_)
            text += c.string();
        return text;
    }
    std::string description() const { return stringValue(); }

    // The display string of one character.
    static const std::string& characterString(Element character) { return character.string(); }

    // The large display line cut into its four slices of ten characters, left to right.
    std::vector<std::vector<Element>> slices() const
        requires(std::is_same_v<Element, HUILargeDisplayCharacter>) {
        std::vector<std::vector<Element>> out;
        for (const auto slice : midisupport::split(chars_, 10))
            out.emplace_back(slice.begin(), slice.end());
        return out;
    }

    // Writes time characters received right to left into the end of the string: the last of
    // `charsRightToLeft` becomes the leftmost of the characters replaced. True when a character
    // changed. At most eight characters are taken: the ones after the eighth would lie left of
    // the display and are dropped.
    bool update(std::span<const Element> charsRightToLeft) requires(
        std::is_same_v<Element, HUITimeDisplayCharacter>) {
        const std::size_t count = std::min(charsRightToLeft.size(), Length);
        bool changed = false;
        for (std::size_t i = 0; i < count; ++i) {
            Element& target = chars_[Length - 1 - i];
            if (!(target == charsRightToLeft[i])) {
                target = charsRightToLeft[i];
                changed = true;
            }
        }
        return changed;
    }

    friend constexpr bool operator==(const HUIDisplayString&, const HUIDisplayString&) = default;
    // The number of characters, then each code in order.
    std::size_t hash() const {
        detail::HashFeed feed;
        feed.add(Length);
        for (const Element& c : chars_)
            feed.add(c.rawValue().value());
        return feed.value();
    }
    friend std::ostream& operator<<(std::ostream& out, const HUIDisplayString& string) {
        return out << '"' << string.stringValue() << '"';
    }

  private:
    static std::vector<Element> charactersFromText(std::string_view text) {
        if constexpr (std::is_same_v<Element, HUITimeDisplayCharacter>) {
            return detail::timeCharactersFromText(text);
        } else {
            return detail::charactersFromText<Element>(text, Length);
        }
    }

    Chars chars_;
};

using HUILargeDisplayString = HUIDisplayString<HUILargeDisplayCharacter, 40>;
using HUISmallDisplayString = HUIDisplayString<HUISmallDisplayCharacter, 4>;
using HUITimeDisplayString = HUIDisplayString<HUITimeDisplayCharacter, 8>;

// Ten spaces: one blank slice of the large display.
inline constexpr std::array<HUILargeDisplayCharacter, 10> blankLargeDisplaySlice =
    detail::filled<HUILargeDisplayCharacter, 10>(HUILargeDisplayCharacter::space);
// The eight slices of a blank large display.
inline constexpr std::array<std::array<HUILargeDisplayCharacter, 10>, 8> blankLargeDisplaySlices =
    detail::filled<std::array<HUILargeDisplayCharacter, 10>, 8>(blankLargeDisplaySlice);
// Eight spaces of the time display.
inline constexpr std::array<HUITimeDisplayCharacter, 8> blankTimeDisplayChars =
    detail::filled<HUITimeDisplayCharacter, 8>(HUITimeDisplayCharacter::space);
// 00.00.00.00 on the time display.
inline constexpr std::array<HUITimeDisplayCharacter, 8> zeroTimeDisplayChars = {
    HUITimeDisplayCharacter::num0, HUITimeDisplayCharacter::num0dot,
    HUITimeDisplayCharacter::num0, HUITimeDisplayCharacter::num0dot,
    HUITimeDisplayCharacter::num0, HUITimeDisplayCharacter::num0dot,
    HUITimeDisplayCharacter::num0, HUITimeDisplayCharacter::num0,
};

// One of the small displays: the name display of a channel strip, or the select-assign display.
class HUISmallDisplay {
  public:
    enum class Case : std::uint8_t { channel, selectAssign };

    static constexpr HUISmallDisplay channel(midicore::UInt4 strip) {
        return HUISmallDisplay(Case::channel, strip);
    }
    static constexpr HUISmallDisplay selectAssign() {
        return HUISmallDisplay(Case::selectAssign, midicore::UInt4());
    }

    constexpr Case displayCase() const { return case_; }
    // The strip of a channel display; none for the select-assign display.
    constexpr std::optional<midicore::UInt4> channelNumber() const {
        if (case_ != Case::channel) return std::nullopt;
        return strip_;
    }

    friend constexpr bool operator==(const HUISmallDisplay&, const HUISmallDisplay&) = default;
    // 0 and the strip for a channel display, 1 for the select-assign display.
    std::size_t hash() const {
        detail::HashFeed feed;
        feed.add(static_cast<std::size_t>(case_));
        if (case_ == Case::channel) feed.add(strip_.value());
        return feed.value();
    }
    // "channel(3)" or "selectAssign".
    std::string description() const {
        return case_ == Case::channel ? "channel(" + strip_.description() + ")" : "selectAssign";
    }

  private:
    constexpr HUISmallDisplay(Case displayCase, midicore::UInt4 strip)
        : case_(displayCase), strip_(strip) {}

    Case case_;
    midicore::UInt4 strip_;  // 0 for the select-assign display
};

}  // namespace hui

template <class Element, std::size_t Length>
struct std::hash<hui::HUIDisplayString<Element, Length>> {
    std::size_t operator()(const hui::HUIDisplayString<Element, Length>& s) const {
        return s.hash();
    }
};
template <>
struct std::hash<hui::HUISmallDisplay> {
    std::size_t operator()(const hui::HUISmallDisplay& d) const { return d.hash(); }
};
