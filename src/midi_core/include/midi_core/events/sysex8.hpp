// Eight-bit System Exclusive messages of MIDI 2.0, which exist only as Universal MIDI Packets of
// message type 5: the message (the two-byte ID form and the data, any byte values) cut into
// pieces of up to thirteen bytes, each packet carrying the stream ID. A record made by a
// constructor has stream ID 0; the 8-bit parser of received packets sets it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "midi_core/events/sysex_id.hpp"
#include "midi_core/unsigned_integer.hpp"
#include "midi_core/wire.hpp"

namespace midicore::events {

struct SysEx8 {
    SysExManufacturer manufacturer;
    std::vector<uint8_t> data;
    uint8_t streamID = 0;
    UInt4 group;

    SysEx8(SysExManufacturer manufacturer, std::vector<uint8_t> data, UInt4 group = UInt4())
        : manufacturer(manufacturer), data(std::move(data)), group(group) {}

    // Message-type-5 packets of the manufacturer's two-byte field and the data.
    UMPPackets umpRawWords() const;
    // "sysEx8(mfr: 0x41, data: [0xFF], group: 0x0, streamID: 0)".
    std::string description() const;

    friend bool operator==(const SysEx8&, const SysEx8&) = default;
    // The manufacturer, the data, the stream ID, the group.
    size_t hash() const;
};

struct UniversalSysEx8 {
    UniversalSysExType universalType;
    UInt7 deviceID;
    UInt7 subID1;
    UInt7 subID2;
    std::vector<uint8_t> data;
    uint8_t streamID = 0;
    UInt4 group;

    UniversalSysEx8(UniversalSysExType universalType, UInt7 deviceID, UInt7 subID1, UInt7 subID2,
                    std::vector<uint8_t> data, UInt4 group = UInt4())
        : universalType(universalType), deviceID(deviceID), subID1(subID1), subID2(subID2),
          data(std::move(data)), group(group) {}

    // Message-type-5 packets of 0x00, the type, the three IDs and the data.
    UMPPackets umpRawWords() const;
    // "universalSysEx8(realTime, deviceID: 127, subID1: 4, subID2: 1, data: [], group: 0x0,
    // streamID: 0)".
    std::string description() const;

    friend bool operator==(const UniversalSysEx8&, const UniversalSysEx8&) = default;
    // The universal type, the three IDs, the data, the stream ID, the group.
    size_t hash() const;
};

}  // namespace midicore::events

template <>
struct std::hash<midicore::events::SysEx8> {
    size_t operator()(const midicore::events::SysEx8& m) const { return m.hash(); }
};
template <>
struct std::hash<midicore::events::UniversalSysEx8> {
    size_t operator()(const midicore::events::UniversalSysEx8& m) const { return m.hash(); }
};
