// Translation between the three forms MIDI data takes in the services: MIDI 1.0 bytes, Universal
// MIDI Packets (UMP) in the MIDI 1.0 protocol, and UMP in the MIDI 2.0 protocol.
//
// Every function works on lists of MIDIDriverPacket and keeps time stamps: a message takes the
// stamp of the packet it came from (one completed by a later packet, that packet's). Translations
// into bytes or out of bytes give one packet per message; translations between the protocols keep
// the packets of their input (a packet left with no message goes).
//
// - MIDI 1.0 bytes to UMP: channel voice messages become message type 2, system common and
//   real-time messages type 1, System Exclusive type 3 (split into packets of up to six data bytes:
//   complete, or start, continue..., end), all on group 0. Running status is honoured; real-time
//   bytes may fall anywhere, even inside another message; a status byte ends an unfinished System
//   Exclusive message; data bytes without a status, undefined status bytes (F4, F5, F9, FD) and a
//   lone F7 are dropped.
// - UMP to MIDI 1.0 bytes: types 1, 2 and 3 (System Exclusive packets give F0 at a start and F7 at
//   an end); type 4 after translation to the MIDI 1.0 protocol; other types have no byte form.
// - MIDI 1.0 protocol to MIDI 2.0 protocol: each type 2 message becomes its type 4 form with the
//   values scaled up (scaleUp); a Note On with velocity 0 becomes a Note Off with velocity 0.
//   Other types pass unchanged.
// - MIDI 2.0 protocol to MIDI 1.0 protocol: each type 4 message becomes type 2 messages with the
//   top bits of its values; a Note On whose velocity narrows to 0 takes velocity 1; a Program
//   Change with a valid bank becomes Bank Select MSB, LSB and the Program Change; a registered or
//   assignable controller becomes its four Control Changes (101/100 or 99/98, 6, 38). Per-note and
//   relative messages have no MIDI 1.0 form and are dropped. Other types pass unchanged.
#pragma once

#include <cstdint>
#include <vector>

#include "midiservices/driver.hpp"

namespace midiservices {

using MIDIPackets = std::vector<MIDIDriverPacket>;

// Widens a value of `sourceBits` bits to `targetBits` bits (at most 32) keeping the minimum, the
// centre and the maximum: up to the centre the value is shifted; above it the bits below the top
// bit are repeated into the new low bits.
uint32_t scaleUp(uint32_t value, unsigned sourceBits, unsigned targetBits);

// A MIDI 1.0 byte stream turned into MIDI 1.0 protocol UMP. Keeps the state of an unfinished
// message between calls, so one stream may arrive in any split.
class MIDI1StreamToUMP {
  public:
    void feed(const MIDIDriverPacket& packet, MIDIPackets& out);

  private:
    void flushSysEx(bool last, MIDITimeStamp timeStamp, MIDIPackets& out);

    uint8_t status_ = 0;  // running status or pending system common status; 0 for none
    uint8_t data_[2] = {};
    uint8_t dataCount_ = 0;
    bool inSysEx_ = false;
    bool sysExStarted_ = false;  // a start packet went out for the current message
    uint8_t sysEx_[6] = {};
    uint8_t sysExCount_ = 0;
};

// Stateless translations. Each input packet may hold several whole UMP messages.
MIDIPackets umpToBytes(const MIDIPackets& ump);
MIDIPackets umpToProtocol(const MIDIPackets& ump, MIDIProtocolID target);

}  // namespace midiservices
