// The HUI wire format: every MIDI message that passes between a host (the workstation) and a
// control surface, and the encoders that build them. Channel messages travel on channel 0, group
// 0, with 7-bit values; displays travel as System Exclusive messages of the three-byte
// manufacturer ID 00 00 66.
//
// The encoders take the role of the side that receives a message. An encoder whose input has no
// place on the wire (a strip above 7 where the strip number would collide with another message,
// a zone above 127, an empty time display) gives no event instead of a wrong one; it never throws.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hui/characters.hpp"
#include "hui/display_strings.hpp"
#include "hui/surface_model_components.hpp"
#include "hui/vpot.hpp"
#include "midi_core/int7.hpp"
#include "midi_core/midi_event.hpp"
#include "midi_core/unsigned_integer.hpp"

namespace hui {

// The two sides of a link, in this order.
enum class HUIRole : std::uint8_t { host, surface };
inline constexpr std::array<HUIRole, 2> allHUIRoles = {HUIRole::host, HUIRole::surface};
// "host" or "surface".
std::string description(HUIRole role);

namespace protocol {

// The manufacturer of every display message: the three-byte ID 00 00 66.
inline constexpr midicore::MIDIEvent::SysExManufacturer sysExManufacturer =
    midicore::MIDIEvent::SysExManufacturer::threeByte(midicore::UInt7(0x00), midicore::UInt7(0x66));
// The two data bytes after the manufacturer ID.
inline constexpr midicore::UInt7 sysExSubID1{0x05};
inline constexpr midicore::UInt7 sysExSubID2{0x00};
// Type bytes of the display messages.
inline constexpr midicore::UInt7 smallDisplayType{0x10};
inline constexpr midicore::UInt7 timeDisplayType{0x11};
inline constexpr midicore::UInt7 largeDisplayType{0x12};

// Controller numbers.
inline constexpr std::uint8_t faderMSBController = 0x00;  // + strip
inline constexpr std::uint8_t faderLSBController = 0x20;  // + strip
inline constexpr std::uint8_t zoneSelectToSurface = 0x0C;
inline constexpr std::uint8_t portToSurface = 0x2C;
inline constexpr std::uint8_t zoneSelectToHost = 0x0F;
inline constexpr std::uint8_t portToHost = 0x2F;
inline constexpr std::uint8_t jogWheelController = 0x0D;
inline constexpr std::uint8_t vPotToSurface = 0x10;  // + V-Pot number: ring byte
inline constexpr std::uint8_t vPotToHost = 0x40;     // + V-Pot number: delta byte

// Strips on the wire: 0-7.
inline constexpr unsigned stripCount = 8;
// The small-display number of the select-assign display.
inline constexpr std::uint8_t selectAssignDisplayNumber = 8;
// The time display takes at most eight characters.
inline constexpr std::size_t timeDisplayLength = 8;

// Note On, note 0, velocity 0, channel 0, sent as a Note On (not turned into a Note Off).
const midicore::MIDIEvent& hostPing();
// Note On, note 0, velocity 0x7F, channel 0.
const midicore::MIDIEvent& surfacePingReply();
// System Reset, group 0.
const midicore::MIDIEvent& systemResetEvent();

}  // namespace protocol

// A zone-select then port pair: controllers 0x0C / 0x2C to a surface, 0x0F / 0x2F to a host; the
// port value has 0x40 added when the state is on. No events for a zone above 127.
std::vector<midicore::MIDIEvent> encodeHUISwitch(std::uint8_t zone, midicore::UInt4 port,
                                                 bool state, HUIRole to);
// MSB on controller = strip, then LSB on controller = strip + 0x20. No events for a strip above 7
// (its controllers would be the zone-select and port controllers of the switches).
std::vector<midicore::MIDIEvent> encodeHUIFaderLevel(midicore::UInt14 level,
                                                     midicore::UInt4 channel);
// Zone select = strip on 0x0F, then 0x40 (touched) or 0x00 on 0x2F. No events for a strip above 7.
std::vector<midicore::MIDIEvent> encodeHUIFaderTouch(bool touched, midicore::UInt4 channel);
// Polyphonic key pressure: note = strip, value = side << 4 + level clamped to 0...12.
midicore::MIDIEvent encodeHUILevelMeter(midicore::UInt4 channel,
                                        surfacemodel::StereoLevelMeter::Side side,
                                        std::int64_t level);
// Controller 0x10 (to a surface: ring byte) or 0x40 (to a host: delta byte) + the V-Pot number.
// None for a strip V-Pot above 7, whose number would be that of an edit-assign V-Pot.
std::optional<midicore::MIDIEvent> encodeHUIVPot(midicore::UInt7 rawValue, HUIVPot vPot,
                                                 HUIRole to);
// Sign and magnitude: bit 6 set for zero or positive, the low six bits the magnitude (so -64
// encodes as 0x00).
midicore::UInt7 encodeHUIDelta(midicore::Int7 delta);
// Both 0x00 and 0x40 give 0; every byte gives -63...63.
midicore::Int7 decodeHUIDelta(midicore::UInt7 byte);
// Controller 0x0D with the delta byte.
midicore::MIDIEvent encodeHUIJogWheel(midicore::Int7 delta);
// F0 00 00 66 05 00, then `data` (type byte and payload), F7.
midicore::MIDIEvent encodeHUISysEx(std::span<const midicore::UInt7> data);

// The display messages a host sends.
//
// One small-display message: display number = the strip, or 8 for the select-assign display.
// None for a strip above 7, whose number would collide with the select-assign display.
std::optional<midicore::MIDIEvent> encodeHUISmallDisplay(HUISmallDisplay display,
                                                         const HUISmallDisplayString& text);
// One time-display message of at most the first eight characters, rightmost first. None for no
// characters (a receiver refuses the empty message).
std::optional<midicore::MIDIEvent> encodeHUITimeDisplay(
    std::span<const HUITimeDisplayCharacter> charsRightToLeft);
// One large-display message per slice, in ascending slice number; a slice without characters
// gives no message.
std::vector<midicore::MIDIEvent> encodeHUILargeDisplay(
    const surfacemodel::LargeDisplay::Slices& slices);

}  // namespace hui
