// Turns arbitrary bytes into the three kinds of display string and checks their promises: the
// fixed length, characters that text can produce, and that the text of a string made from text
// makes the same string again.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "hui/display_strings.hpp"

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

template <class String>
void checkRoundTrip(const String& string) {
    check(string.chars().size() == String::length);
    check(String(string.stringValue()) == string);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const hui::HUILargeDisplayString large(text);
    for (const auto c : large.chars()) {
        // Entries that show nothing or more than one character never come from text.
        const auto code = c.rawValue().value();
        check(code >= 0x1C || code == 0x19);
        check(hui::HUILargeDisplayCharacter::fromString(c.string()) == c);
    }
    checkRoundTrip(large);

    const hui::HUISmallDisplayString small(text);
    for (const auto c : small.chars()) {
        check(hui::HUISmallDisplayCharacter::fromString(c.string()) == c);
    }
    checkRoundTrip(small);

    const hui::HUITimeDisplayString time(text);
    for (const auto c : time.chars()) {
        // Text never produces the codes that show as "?" beyond the first.
        const auto code = c.rawValue().value();
        check(code <= 0x21 || code == 0x30);
    }
    checkRoundTrip(time);

    // Characters arriving right to left in any number land in the eight places.
    hui::HUITimeDisplayString updated;
    updated.update(time.chars());
    check(updated.chars().size() == 8);
    return 0;
}
