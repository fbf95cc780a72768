// Seven-bit System Exclusive messages of MIDI 1.0: a manufacturer's message (SysEx7) and a
// universal real-time or non-real-time message (UniversalSysEx7), with their F0 ... F7 bytes, a
// hexadecimal text of those bytes, the Device Inquiry identity request and reply, and their
// Universal MIDI Packets (message type 3: the message cut into pieces of up to six bytes).
//
// The message body is 7-bit at all times: a byte of 0x80 or more in it would end the message
// early on the wire (0xF7) or start another one, so every way of setting it checks the bytes and
// refuses such a byte with MIDIEventParseError (malformed), leaving the record unchanged.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "midi_core/events/sysex_id.hpp"
#include "midi_core/parse_error.hpp"
#include "midi_core/unsigned_integer.hpp"
#include "midi_core/wire.hpp"

namespace midicore::events {

// The body of a seven-bit System Exclusive message: bytes that are all below 0x80.
class SysEx7Data {
  public:
    SysEx7Data() = default;
    // Throws MIDIEventParseError (malformed) when a byte is 0x80 or more.
    explicit SysEx7Data(std::vector<uint8_t> bytes);
    // Never fails.
    explicit SysEx7Data(std::span<const UInt7> values);

    const std::vector<uint8_t>& bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    auto begin() const { return bytes_.begin(); }
    auto end() const { return bytes_.end(); }
    std::span<const uint8_t> span() const { return bytes_; }

    // Replaces the bytes; throws malformed for a byte of 0x80 or more and keeps the old bytes.
    void set(std::vector<uint8_t> bytes);
    void set(std::span<const UInt7> values);
    // Hands `update` a copy of the bytes to change, then stores the result as `set` does.
    template <class Update>
    void modify(Update&& update) {
        std::vector<uint8_t> changed = bytes_;
        std::forward<Update>(update)(changed);
        set(std::move(changed));
    }

    friend bool operator==(const SysEx7Data&, const SysEx7Data&) = default;
    friend bool operator==(const SysEx7Data& a, const std::vector<uint8_t>& b) {
        return a.bytes_ == b;
    }
    // The length, then every byte.
    size_t hash() const;

  private:
    std::vector<uint8_t> bytes_;
};

// A manufacturer's message: F0, the manufacturer's ID, the data, F7.
struct SysEx7 {
    SysExManufacturer manufacturer;
    SysEx7Data data;
    UInt4 group;

    // Throws malformed when a data byte is 0x80 or more.
    SysEx7(SysExManufacturer manufacturer, std::vector<uint8_t> data, UInt4 group = UInt4())
        : manufacturer(manufacturer), data(std::move(data)), group(group) {}
    SysEx7(SysExManufacturer manufacturer, std::span<const UInt7> data, UInt4 group = UInt4())
        : manufacturer(manufacturer), data(data), group(group) {}
    SysEx7(SysExManufacturer manufacturer, SysEx7Data data, UInt4 group = UInt4())
        : manufacturer(manufacturer), data(std::move(data)), group(group) {}

    static constexpr uint8_t midi1RawStatusByte() { return 0xF0; }
    // [F0] ID data [F7]; the group is not written.
    MIDI1Bytes midi1RawBytes(bool leadingF0 = true, bool trailingF7 = true) const;
    // The bytes of midi1RawBytes, each as two upper-case hex digits without prefix, joined with
    // `separator` ("F0 41 10 42 F7").
    std::string midi1RawHexString(bool leadingF0 = true, bool trailingF7 = true,
                                  std::string_view separator = " ") const;
    // Message-type-3 packets of the ID and the data.
    UMPPackets umpRawWords() const;
    // "sysEx7(mfr: 0x41, data: [0x10 0x42], group: 0x0)".
    std::string description() const;

    friend bool operator==(const SysEx7&, const SysEx7&) = default;
    // The manufacturer, the data, the group.
    size_t hash() const;
};

// A universal message: F0, 0x7E or 0x7F, device ID, sub-ID 1, sub-ID 2, the data, F7.
struct UniversalSysEx7 {
    UniversalSysExType universalType;
    UInt7 deviceID;
    UInt7 subID1;
    UInt7 subID2;
    SysEx7Data data;
    UInt4 group;

    // Throws malformed when a data byte is 0x80 or more.
    UniversalSysEx7(UniversalSysExType universalType, UInt7 deviceID, UInt7 subID1, UInt7 subID2,
                    std::vector<uint8_t> data, UInt4 group = UInt4())
        : UniversalSysEx7(universalType, deviceID, subID1, subID2, SysEx7Data(std::move(data)),
                          group) {}
    UniversalSysEx7(UniversalSysExType universalType, UInt7 deviceID, UInt7 subID1, UInt7 subID2,
                    std::span<const UInt7> data, UInt4 group = UInt4())
        : UniversalSysEx7(universalType, deviceID, subID1, subID2, SysEx7Data(data), group) {}
    UniversalSysEx7(UniversalSysExType universalType, UInt7 deviceID, UInt7 subID1, UInt7 subID2,
                    SysEx7Data data, UInt4 group = UInt4())
        : universalType(universalType), deviceID(deviceID), subID1(subID1), subID2(subID2),
          data(std::move(data)), group(group) {}

    // Device Inquiry (non-real time, sub-ID 1 0x06, group 0): the identity request (sub-ID 2
    // 0x01, no data) ...
    static UniversalSysEx7 identityRequest(UInt7 deviceID);
    // ... and the identity reply (sub-ID 2 0x02): the manufacturer's ID bytes, the family and the
    // model code each as bits 0-6 then bits 7-13, and the four software revision values.
    static UniversalSysEx7 identityReply(UInt7 deviceID, SysExManufacturer manufacturer,
                                         UInt14 family, UInt14 model,
                                         std::array<UInt7, 4> softwareRevision);

    static constexpr uint8_t midi1RawStatusByte() { return 0xF0; }
    // [F0] type deviceID subID1 subID2 data [F7]; the group is not written.
    MIDI1Bytes midi1RawBytes(bool leadingF0 = true, bool trailingF7 = true) const;
    // Message-type-3 packets of the four header bytes and the data.
    UMPPackets umpRawWords() const;
    // "universalSysEx7(nonRealTime, deviceID: 127, subID1: 6, subID2: 1, data: [], group: 0x0)".
    std::string description() const;

    friend bool operator==(const UniversalSysEx7&, const UniversalSysEx7&) = default;
    // The universal type, the three IDs, the data, the group.
    size_t hash() const;

  private:
    // The type, device ID and sub-IDs as they lead the message body.
    std::array<uint8_t, 4> header() const;
};

}  // namespace midicore::events

template <>
struct std::hash<midicore::events::SysEx7Data> {
    size_t operator()(const midicore::events::SysEx7Data& d) const { return d.hash(); }
};
template <>
struct std::hash<midicore::events::SysEx7> {
    size_t operator()(const midicore::events::SysEx7& m) const { return m.hash(); }
};
template <>
struct std::hash<midicore::events::UniversalSysEx7> {
    size_t operator()(const midicore::events::UniversalSysEx7& m) const { return m.hash(); }
};
