// MIDI2Parser: Universal MIDI Packet messages (message types 0-5) to MIDIEvent values.
//
// Each call takes the bytes of one message (its words, most significant byte first) and gives its
// events, usually zero or one. System Exclusive messages that span several packets are collected
// between calls: 7-bit ones (type 3) in one buffer per group, 8-bit ones (type 5) in one buffer per
// group and stream ID. A start opens a buffer (an empty start too), a continue or an end without an
// open buffer is dropped, and a second start drops what the first collected. All open buffers of a
// parser together hold at most maxSysExSize bytes: a message that would go beyond is dropped.
//
// Notes are never translated: a MIDI 2.0 or UMP MIDI 1.0 Note On of velocity 0 stays a Note On.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <utility>
#include <vector>

#include "midi_core/midi_event.hpp"

namespace midiio {

class MIDI2Parser {
  public:
    static constexpr size_t defaultMaxSysExSize = size_t{1} << 20;

    MIDI2Parser() = default;

    size_t maxSysExSize() const { return maxSysExSize_; }
    void setMaxSysExSize(size_t bytes) { maxSysExSize_ = bytes; }
    // The bytes held by open System Exclusive buffers.
    size_t openSysExSize() const { return openBytes_; }

    // The events of one message; a length other than the message type's gives none (a utility
    // message may be followed by further messages in the same bytes, which are parsed in turn).
    std::vector<midicore::MIDIEvent> parsedEvents(std::span<const uint8_t> bytes);
    // The same, appended to `events`.
    void parse(std::span<const uint8_t> bytes, std::vector<midicore::MIDIEvent>& events);

  private:
    struct Buffer {
        bool open = false;
        std::vector<uint8_t> bytes;
    };

    void parseSysEx7(std::span<const uint8_t> m, midicore::UInt4 group,
                     std::vector<midicore::MIDIEvent>& events);
    void parseSysEx8(std::span<const uint8_t> m, midicore::UInt4 group,
                     std::vector<midicore::MIDIEvent>& events);
    // Adds `data` to an open buffer; drops the message when the bound would be passed.
    bool append(Buffer& buffer, std::span<const uint8_t> data);
    void drop(Buffer& buffer);

    std::array<Buffer, 16> sysEx7_;
    // By (group, stream ID): the stream ID followed by the data collected so far.
    std::map<std::pair<uint8_t, uint8_t>, Buffer> sysEx8_;
    size_t openBytes_ = 0;
    size_t maxSysExSize_ = defaultMaxSysExSize;
};

}  // namespace midiio
