#include "events/text.hpp"

#include <charconv>
#include <cmath>

#include "midi_support/number_text.hpp"

namespace midicore::events::text {

std::string note(const MIDINote& note) {
    return note.number.description() + " (" + note.stringValue(false, false) + ")";
}

std::string nibble(UInt4 value) {
    return midisupport::hexString(value.value(), true);
}

std::string byteList(std::span<const uint8_t> bytes) {
    return midisupport::hexString(bytes, 2, true, " ");
}

std::string channelAndGroup(UInt4 channel, UInt4 group) {
    return ", chan: " + nibble(channel) + ", group: " + nibble(group) + ")";
}

namespace {

template <class Value>
std::string bothWidths(const Value& value) {
    return "midi1(" + std::to_string(value.midi1Value().value()) + ")/midi2(" +
           std::to_string(value.midi2Value()) + ")";
}

}  // namespace

std::string value(const ChanVoice7Bit16BitValue& value) {
    return bothWidths(value);
}
std::string value(const ChanVoice7Bit32BitValue& value) {
    return bothWidths(value);
}
std::string value(const ChanVoice14Bit32BitValue& value) {
    return bothWidths(value);
}

std::string value(const ChanVoice32BitValue& value) {
    if (value.valueCase() == ChanVoice32BitValue::Case::unitInterval) {
        return "unitInterval(" + decimal(value.unitIntervalValue()) + ")";
    }
    return "midi2(" + std::to_string(value.midi2Value()) + ")";
}

std::string decimal(double x) {
    if (std::isnan(x)) return "nan";
    if (std::isinf(x)) return x < 0 ? "-inf" : "inf";
    // Plain digits from 1e-4 up to 2^53, exponent form outside.
    const double magnitude = std::fabs(x);
    const bool plain = magnitude == 0.0 || (magnitude >= 1e-4 && magnitude < 9007199254740992.0);
    char buffer[64];
    const auto format = plain ? std::chars_format::fixed : std::chars_format::scientific;
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, x, format);
    std::string out(buffer, result.ptr);
    if (plain && out.find('.') == std::string::npos) out += ".0";
    return out;
}

std::string optionalByte(std::optional<UInt7> byte) {
    return byte ? byte->description() : "nil (0)";
}

}  // namespace midicore::events::text
