// Walking UTF-8 text scalar by scalar, shared by the text conversions and the character filters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace midisupport::detail {

// One step through UTF-8 text: the scalar and how many bytes it took. An ill-formed sequence
// (a stray or missing continuation byte, an overlong form, a surrogate, a value above U+10FFFF)
// gives `illFormed` and covers the bytes up to the next possible start of a sequence.
struct ScalarStep {
    static constexpr char32_t illFormed = 0xFFFFFFFF;
    char32_t scalar;
    size_t length;
};

ScalarStep nextScalar(std::string_view text, size_t at);

bool isWellFormedUTF8(std::string_view text);

void appendUTF8(std::string& out, char32_t scalar);

// Calls `body(scalar, bytes)` for each scalar of `text` with the bytes it was read from.
template <class Body>
void forEachScalar(std::string_view text, Body&& body) {
    for (size_t at = 0; at < text.size();) {
        const ScalarStep step = nextScalar(text, at);
        body(step.scalar, text.substr(at, step.length));
        at += step.length;
    }
}

}  // namespace midisupport::detail
