// Events the receive-path tests expect, built with the core's factories.
#pragma once

#include <cstdint>
#include <vector>

#include "midi_core/midi_event.hpp"

namespace midiio::testing {

using Bytes = std::vector<uint8_t>;
using Events = std::vector<midicore::MIDIEvent>;

// A MIDI 1.0 Note On as the parsers make it (never sent as Note Off).
inline midicore::MIDIEvent on(int note, int velocity, int channel = 0) {
    return midicore::MIDIEvent::noteOn(
        midicore::UInt7(note), midicore::ChanVoice7Bit16BitValue::midi1(midicore::UInt7(velocity)),
        midicore::MIDIEvent::NoteAttribute::none(), midicore::UInt4(channel), midicore::UInt4(0),
        false);
}

inline midicore::MIDIEvent off(int note, int velocity, int channel = 0) {
    return midicore::MIDIEvent::noteOff(
        midicore::UInt7(note), midicore::ChanVoice7Bit16BitValue::midi1(midicore::UInt7(velocity)),
        midicore::MIDIEvent::NoteAttribute::none(), midicore::UInt4(channel));
}

// A 7-bit System Exclusive message of a one-byte manufacturer ID.
inline midicore::MIDIEvent sysEx7(uint8_t manufacturer, Bytes data, int group = 0) {
    return midicore::MIDIEvent::sysEx7(
        midicore::MIDIEvent::SysExManufacturer::oneByte(midicore::UInt7(manufacturer)),
        std::move(data), midicore::UInt4(group));
}

}  // namespace midiio::testing
