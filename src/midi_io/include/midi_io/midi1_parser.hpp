// MIDI1Parser: the bytes of received MIDI 1.0 packets to MIDIEvent values.
//
// A byte loop splits the stream into messages (a status byte and its data bytes, running status,
// System Exclusive runs, real-time bytes anywhere), and each complete message becomes at most one
// event. Between calls the parser keeps the running status and an open System Exclusive message:
// hardware splits long System Exclusive messages over packets, so a message stays open until its
// F7 or the next status byte other than real time, up to maxSysExSize bytes (a longer one is
// dropped whole). A message ended by F7 is decoded with it, one cut off by another status byte
// without it. Any other message cut off by the end of a packet is decoded with the bytes it
// has, which usually yields nothing.
//
// One parser serves one stream: the receive handlers keep one per source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "midi_core/midi_event.hpp"

namespace midiio {

class MIDI1Parser {
  public:
    // The default bound of one System Exclusive message, F0 included: 1 MiB.
    static constexpr size_t defaultMaxSysExSize = size_t{1} << 20;

    MIDI1Parser() = default;

    // When true (the default), a Note On of velocity 0 becomes a Note Off.
    bool translateNoteOnZeroVelocityToNoteOff() const { return translateZeroVelocity_; }
    void setTranslateNoteOnZeroVelocityToNoteOff(bool on) { translateZeroVelocity_ = on; }

    // The last channel status byte (0x80-0xEF); none after a status byte 0xF0-0xF7.
    std::optional<uint8_t> runningStatus() const { return runningStatus_; }
    void setRunningStatus(std::optional<uint8_t> status) { runningStatus_ = status; }

    // Whether a System Exclusive message is open, waiting for more bytes.
    bool sysExOpen() const { return sysEx_ != SysEx::closed; }
    size_t maxSysExSize() const { return maxSysExSize_; }
    void setMaxSysExSize(size_t bytes) { maxSysExSize_ = bytes; }

    // The events in `bytes`, in stream order, each with `group`.
    std::vector<midicore::MIDIEvent> parsedEvents(std::span<const uint8_t> bytes,
                                                  midicore::UInt4 group = midicore::UInt4(0));
    // The same, appended to `events`.
    void parse(std::span<const uint8_t> bytes, midicore::UInt4 group,
               std::vector<midicore::MIDIEvent>& events);

  private:
    enum class SysEx : uint8_t { closed, open, overflowed };

    void closeSysEx(midicore::UInt4 group, std::vector<midicore::MIDIEvent>& events);
    void appendSysEx(std::span<const uint8_t> data);

    bool translateZeroVelocity_ = true;
    std::optional<uint8_t> runningStatus_;
    SysEx sysEx_ = SysEx::closed;
    std::vector<uint8_t> sysExBytes_;
    size_t maxSysExSize_ = defaultMaxSysExSize;
};

}  // namespace midiio
