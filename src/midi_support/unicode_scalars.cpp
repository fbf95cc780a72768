#include "unicode_scalars.hpp"

namespace midisupport::detail {

ScalarStep nextScalar(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    if (lead < 0x80) return {lead, 1};
    size_t length = 0;
    char32_t scalar = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, scalar = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, scalar = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, scalar = lead & 0x07, minimum = 0x10000;
    } else {
        return {ScalarStep::illFormed, 1};
    }
    size_t taken = 1;
    for (; taken < length; ++taken) {
        if (at + taken >= text.size() || (byte(at + taken) & 0xC0) != 0x80) {
            return {ScalarStep::illFormed, taken};
        }
        scalar = (scalar << 6) | (byte(at + taken) & 0x3F);
    }
    if (scalar < minimum || scalar > 0x10FFFF || (scalar >= 0xD800 && scalar <= 0xDFFF)) {
        return {ScalarStep::illFormed, length};
    }
    return {scalar, length};
}

bool isWellFormedUTF8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        const ScalarStep step = nextScalar(text, at);
        if (step.scalar == ScalarStep::illFormed) return false;
        at += step.length;
    }
    return true;
}

void appendUTF8(std::string& out, char32_t scalar) {
    if (scalar < 0x80) {
        out += static_cast<char>(scalar);
    } else if (scalar < 0x800) {
        out += static_cast<char>(0xC0 | (scalar >> 6));
        out += static_cast<char>(0x80 | (scalar & 0x3F));
    } else if (scalar < 0x10000) {
        out += static_cast<char>(0xE0 | (scalar >> 12));
        out += static_cast<char>(0x80 | ((scalar >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (scalar & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (scalar >> 18));
        out += static_cast<char>(0x80 | ((scalar >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((scalar >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (scalar & 0x3F));
    }
}

}  // namespace midisupport::detail
