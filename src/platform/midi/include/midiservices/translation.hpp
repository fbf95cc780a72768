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
#include <span>
#include <vector>

#include "midiservices/driver.hpp"

namespace midiservices {

using MIDIPackets = std::vector<MIDIDriverPacket>;

// Packets laid out flat: each packet is a run of bytes (the MIDI 1.0 form) or of words (the UMP
// forms) in one shared array, with its time stamp. Clearing keeps the capacity, so a buffer that
// is reused for one piece of data after another stops allocating once it has grown to the data's
// size: the services keep what travels between their threads in such buffers.
class FlatPackets {
  public:
    struct Packet {
        MIDITimeStamp timeStamp = 0;
        uint32_t first = 0;  // index of the first byte or word
        uint32_t count = 0;
    };

    void clear() {
        packets_.clear();
        bytes_.clear();
        words_.clear();
    }
    bool empty() const { return packets_.empty(); }
    const std::vector<Packet>& packets() const { return packets_; }
    std::span<const uint8_t> bytes(const Packet& p) const { return {bytes_.data() + p.first, p.count}; }
    std::span<const uint32_t> words(const Packet& p) const { return {words_.data() + p.first, p.count}; }

    // Appends a packet; one of no data is left out.
    void addBytes(MIDITimeStamp timeStamp, std::span<const uint8_t> bytes);
    void addWords(MIDITimeStamp timeStamp, std::span<const uint32_t> words);
    // A packet of words built a word at a time: begun, appended to, ended (left out when empty).
    void beginWords() { open_ = words_.size(); }
    void appendWord(uint32_t word) { words_.push_back(word); }
    void endWords(MIDITimeStamp timeStamp);

    // The memory held for reuse, in bytes.
    size_t capacityBytes() const {
        return packets_.capacity() * sizeof(Packet) + bytes_.capacity() +
               words_.capacity() * sizeof(uint32_t);
    }

    // Conversions from and to lists of separate packets; each packet's bytes, or else its words.
    static FlatPackets from(const MIDIPackets& packets);
    MIDIPackets toPackets() const;

  private:
    std::vector<Packet> packets_;
    std::vector<uint8_t> bytes_;
    std::vector<uint32_t> words_;
    size_t open_ = 0;
};

// Widens a value of `sourceBits` bits to `targetBits` bits (at most 32) keeping the minimum, the
// centre and the maximum: up to the centre the value is shifted; above it the bits below the top
// bit are repeated into the new low bits.
uint32_t scaleUp(uint32_t value, unsigned sourceBits, unsigned targetBits);

// A MIDI 1.0 byte stream turned into MIDI 1.0 protocol UMP. Keeps the state of an unfinished
// message between calls, so one stream may arrive in any split.
class MIDI1StreamToUMP {
  public:
    void feed(const MIDIDriverPacket& packet, MIDIPackets& out);
    // The same into flat packets: one packet per message.
    void feed(MIDITimeStamp timeStamp, std::span<const uint8_t> bytes, FlatPackets& out);

  private:
    template <class Emit>
    void feedInto(MIDITimeStamp timeStamp, std::span<const uint8_t> bytes, Emit& emit);
    template <class Emit>
    void flushSysEx(bool last, MIDITimeStamp timeStamp, Emit& emit);

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
// The same on flat packets, appending to `out`.
void umpToBytes(const FlatPackets& ump, FlatPackets& out);
void umpToProtocol(const FlatPackets& ump, MIDIProtocolID target, FlatPackets& out);

}  // namespace midiservices
