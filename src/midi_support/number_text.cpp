#include "midi_support/number_text.hpp"

namespace midisupport::detail {

std::string digitString(unsigned long long magnitude, bool negative, unsigned base) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), digits[magnitude % base]);
        magnitude /= base;
    } while (magnitude != 0);
    if (negative) out.insert(out.begin(), '-');
    return out;
}

std::string padded(std::string digits, int padTo, const char* prefix) {
    const auto length = static_cast<long long>(digits.size());
    if (padTo > length) digits.insert(0, static_cast<size_t>(padTo - length), '0');
    return prefix + digits;
}

}  // namespace midisupport::detail
