// The parsers of received System Exclusive messages: MIDI 1.0 bytes, the same bytes as
// hexadecimal text, and one reassembled 8-bit message of MIDI 2.0. Each reads its input once.
#include <string>

#include "midi_core/midi_event.hpp"
#include "midi_support/number_text.hpp"
#include "midi_support/strings.hpp"

namespace midicore {

namespace {

using events::SysEx7Data;
using events::SysExID;
using events::SysExManufacturer;
using events::UniversalSysExType;

[[noreturn]] void malformed(const std::string& sentence) {
    throw MIDIEventParseError(MIDIEventParseError::Case::malformed, sentence);
}

std::string byteAt(std::span<const uint8_t> bytes, size_t i) {
    return midisupport::hexString(bytes[i], 2, true) + " at index " + std::to_string(i);
}

// The 7-bit byte at index i, which must exist.
UInt7 idByte(std::span<const uint8_t> bytes, size_t i, const char* what) {
    if (i >= bytes.size()) {
        malformed(std::string("System exclusive message ends before its ") + what + ".");
    }
    const auto value = UInt7::exactly(bytes[i]);
    if (!value) malformed(std::string("System exclusive ") + what + " " + byteAt(bytes, i) + " is not a 7-bit value.");
    return *value;
}

// The body from index `start`: every byte up to the end, a final F7 dropped; any other byte of
// 0x80 or more (an F7 before the end included) breaks the message.
SysEx7Data body(std::span<const uint8_t> bytes, size_t start) {
    size_t end = bytes.size();
    if (end > start && bytes[end - 1] == 0xF7) --end;
    std::vector<uint8_t> data(bytes.begin() + static_cast<std::ptrdiff_t>(std::min(start, end)),
                              bytes.begin() + static_cast<std::ptrdiff_t>(end));
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i] >= 0x80) {
            malformed("System exclusive data byte " + byteAt(bytes, start + i) +
                      " is not a 7-bit value.");
        }
    }
    return SysEx7Data(std::move(data));
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Two characters as one byte in base 16. Besides two digits, a sign and one digit read as an
// integer does: "+7" is 7 and "-0" is 0 (any other negative value is not a byte).
std::optional<uint8_t> hexPair(char first, char second) {
    const int low = hexDigit(second);
    if (low < 0) return std::nullopt;
    if (first == '+') return static_cast<uint8_t>(low);
    if (first == '-') return low == 0 ? std::optional<uint8_t>(0) : std::nullopt;
    const int high = hexDigit(first);
    if (high < 0) return std::nullopt;
    return static_cast<uint8_t>(high << 4 | low);
}

}  // namespace

MIDIEvent MIDIEvent::sysEx7FromRawBytes(std::span<const uint8_t> rawBytes, UInt4 group) {
    const size_t n = rawBytes.size();
    if (n == 0) throw MIDIEventParseError(MIDIEventParseError::Case::rawBytesEmpty);
    if (rawBytes[0] != 0xF0) {
        malformed("A system exclusive message starts with 0xF0, not " + byteAt(rawBytes, 0) + ".");
    }
    const UInt7 id = idByte(rawBytes, 1, "ID");
    if (const auto universal = UniversalSysExType::fromRawValue(id)) {
        const UInt7 deviceID = idByte(rawBytes, 2, "device ID");
        const UInt7 subID1 = idByte(rawBytes, 3, "sub-ID 1");
        const UInt7 subID2 = idByte(rawBytes, 4, "sub-ID 2");
        if (n < 6) malformed("A universal system exclusive message ends right after sub-ID 2.");
        return UniversalSysEx7(*universal, deviceID, subID1, subID2, body(rawBytes, 5), group);
    }
    if (id == 0) {
        const UInt7 byte2 = idByte(rawBytes, 2, "manufacturer ID");
        const UInt7 byte3 = idByte(rawBytes, 3, "manufacturer ID");
        return SysEx7(SysExManufacturer::threeByte(byte2, byte3),
                      n == 4 ? SysEx7Data() : body(rawBytes, 4), group);
    }
    return SysEx7(SysExManufacturer::oneByte(id), n == 2 ? SysEx7Data() : body(rawBytes, 2), group);
}

MIDIEvent MIDIEvent::sysEx7FromRawHexString(std::string_view rawHexString, UInt4 group) {
    static const midisupport::CharacterSet blanks =
        midisupport::CharacterSet::whitespacesAndNewlines();
    const std::string digits = midisupport::removing(rawHexString, blanks);
    if (digits.empty()) malformed("The hexadecimal text holds no bytes.");
    if (digits.size() % 2 != 0) malformed("The hexadecimal text has an odd number of digits.");
    std::vector<uint8_t> bytes(digits.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = hexPair(digits[2 * i], digits[2 * i + 1]);
        if (!byte) {
            malformed("\"" + digits.substr(2 * i, 2) + "\" at byte " + std::to_string(i) +
                      " is not a hexadecimal byte.");
        }
        bytes[i] = *byte;
    }
    return sysEx7FromRawBytes(bytes, group);
}

MIDIEvent MIDIEvent::sysEx8FromRawBytes(std::span<const uint8_t> rawBytes, UInt4 group) {
    const size_t n = rawBytes.size();
    if (n == 0) throw MIDIEventParseError(MIDIEventParseError::Case::rawBytesEmpty);
    if (n < 3) malformed("An 8-bit system exclusive message needs a stream ID and a two-byte ID.");
    const uint8_t streamID = rawBytes[0];
    const auto id = SysExID::fromSysEx8RawBytes(rawBytes.subspan(1, 2));
    if (!id) {
        malformed("Bytes " + midisupport::hexString(rawBytes.subspan(1, 2), 2, true, " ") +
                  " are not an 8-bit system exclusive ID.");
    }
    if (const auto* manufacturer = std::get_if<SysExManufacturer>(&id->value())) {
        SysEx8 message(*manufacturer, std::vector<uint8_t>(rawBytes.begin() + 3, rawBytes.end()),
                       group);
        message.streamID = streamID;
        return message;
    }
    const UInt7 deviceID = idByte(rawBytes, 3, "device ID");
    const UInt7 subID1 = idByte(rawBytes, 4, "sub-ID 1");
    const UInt7 subID2 = idByte(rawBytes, 5, "sub-ID 2");
    UniversalSysEx8 message(std::get<UniversalSysExType>(id->value()), deviceID, subID1, subID2,
                            std::vector<uint8_t>(rawBytes.begin() + 6, rawBytes.end()), group);
    message.streamID = streamID;
    return message;
}

}  // namespace midicore
