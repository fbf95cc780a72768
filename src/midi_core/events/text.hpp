// Text pieces shared by the descriptions of the event records.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "midi_core/chan_voice_values.hpp"
#include "midi_core/midi_note.hpp"
#include "midi_core/unsigned_integer.hpp"

namespace midicore::events::text {

// "60 (C3)": the number, then the name with sharps and ASCII signs.
std::string note(const MIDINote& note);
// "0x0" ... "0xF".
std::string nibble(UInt4 value);
// Bytes as "0x10 0x42"; no bytes give an empty text.
std::string byteList(std::span<const uint8_t> bytes);
// ", chan: 0x3, group: 0x0)".
std::string channelAndGroup(UInt4 channel, UInt4 group);
// "midi1(64)/midi2(32768)": the value converted to both integer widths.
std::string value(const ChanVoice7Bit16BitValue& value);
std::string value(const ChanVoice7Bit32BitValue& value);
std::string value(const ChanVoice14Bit32BitValue& value);
// The stored form: "unitInterval(0.25)" or "midi2(123456)".
std::string value(const ChanVoice32BitValue& value);
// The shortest text that reads back as the same double, with a ".0" on whole numbers ("1.0",
// "0.25", "1e-05", "nan").
std::string decimal(double x);
// The number in decimal, or "nil (0)" when absent.
std::string optionalByte(std::optional<UInt7> byte);

}  // namespace midicore::events::text
