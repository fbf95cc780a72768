#include <algorithm>

#include "hashing.hpp"
#include "midi_core/events/sysex7.hpp"
#include "midi_core/events/sysex8.hpp"
#include "midi_support/number_text.hpp"
#include "sysex_packets.hpp"
#include "text.hpp"

namespace midicore::events {

namespace {

using midicore::detail::hashCombine;

// Refuses a body that holds a byte of 0x80 or more.
void checkSevenBit(const std::vector<uint8_t>& bytes) {
    const auto bad = std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b >= 0x80; });
    if (bad == bytes.end()) return;
    throw MIDIEventParseError(
        MIDIEventParseError::Case::malformed,
        "System exclusive data byte " + midisupport::hexString(*bad, 2, true) + " at index " +
            std::to_string(bad - bytes.begin()) + " is not a 7-bit value.");
}

std::vector<uint8_t> bytesOf(std::span<const UInt7> values) {
    std::vector<uint8_t> bytes;
    bytes.reserve(values.size());
    for (UInt7 v : values) bytes.push_back(v.value());
    return bytes;
}

size_t hashBytes(std::span<const uint8_t> bytes) {
    size_t seed = std::hash<size_t>{}(bytes.size());
    for (uint8_t b : bytes) seed = hashCombine(seed, b);
    return seed;
}

// [F0] head body [F7].
MIDI1Bytes framed(bool leadingF0, std::span<const uint8_t> head, std::span<const uint8_t> body,
                  bool trailingF7) {
    MIDI1Bytes bytes;
    if (leadingF0) bytes.push_back(0xF0);
    bytes.append(head);
    bytes.append(body);
    if (trailingF7) bytes.push_back(0xF7);
    return bytes;
}

// ", data: [0x01 0x02], group: 0x3".
std::string dataAndGroupText(std::span<const uint8_t> data, UInt4 group) {
    return ", data: [" + text::byteList(data) + "], group: " + text::nibble(group);
}

// "nonRealTime, deviceID: 127, subID1: 6, subID2: 1".
std::string universalHeaderText(UniversalSysExType type, UInt7 deviceID, UInt7 subID1,
                                UInt7 subID2) {
    return type.description() + ", deviceID: " + std::to_string(deviceID.value()) +
           ", subID1: " + std::to_string(subID1.value()) +
           ", subID2: " + std::to_string(subID2.value());
}

size_t hashUniversalHeader(UniversalSysExType type, UInt7 deviceID, UInt7 subID1, UInt7 subID2) {
    size_t seed = type.hash();
    for (UInt7 v : {deviceID, subID1, subID2}) seed = hashCombine(seed, v.hash());
    return seed;
}

}  // namespace

// Seven-bit data.

SysEx7Data::SysEx7Data(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
    checkSevenBit(bytes_);
}

SysEx7Data::SysEx7Data(std::span<const UInt7> values) : bytes_(bytesOf(values)) {}

void SysEx7Data::set(std::vector<uint8_t> bytes) {
    checkSevenBit(bytes);
    bytes_ = std::move(bytes);
}

void SysEx7Data::set(std::span<const UInt7> values) { bytes_ = bytesOf(values); }

size_t SysEx7Data::hash() const { return hashBytes(bytes_); }

// Manufacturer message.

MIDI1Bytes SysEx7::midi1RawBytes(bool leadingF0, bool trailingF7) const {
    return framed(leadingF0, manufacturer.sysEx7RawBytes().span(), data.span(), trailingF7);
}

std::string SysEx7::midi1RawHexString(bool leadingF0, bool trailingF7,
                                      std::string_view separator) const {
    return midisupport::hexString(midi1RawBytes(leadingF0, trailingF7), 2, false,
                                  std::string(separator));
}

UMPPackets SysEx7::umpRawWords() const {
    return detail::sysEx7Packets(group, manufacturer.sysEx7RawBytes().span(), data.span());
}

std::string SysEx7::description() const {
    return "sysEx7(mfr: " + manufacturer.description() + dataAndGroupText(data.span(), group) + ")";
}

size_t SysEx7::hash() const {
    return hashCombine(hashCombine(manufacturer.hash(), data.hash()), group.hash());
}

// Universal message.

UniversalSysEx7 UniversalSysEx7::identityRequest(UInt7 deviceID) {
    return UniversalSysEx7(UniversalSysExType::nonRealTime, deviceID, UInt7(0x06), UInt7(0x01),
                           SysEx7Data());
}

UniversalSysEx7 UniversalSysEx7::identityReply(UInt7 deviceID, SysExManufacturer manufacturer,
                                               UInt14 family, UInt14 model,
                                               std::array<UInt7, 4> softwareRevision) {
    std::vector<UInt7> body;
    for (uint8_t b : manufacturer.sysEx7RawBytes()) body.push_back(UInt7(b));
    for (UInt14 code : {family, model}) {
        const UInt7Pair pair = code.uInt7Pair();
        body.push_back(pair.lsb);
        body.push_back(pair.msb);
    }
    body.insert(body.end(), softwareRevision.begin(), softwareRevision.end());
    return UniversalSysEx7(UniversalSysExType::nonRealTime, deviceID, UInt7(0x06), UInt7(0x02),
                           SysEx7Data(body));
}

std::array<uint8_t, 4> UniversalSysEx7::header() const {
    return {universalType.rawValue().value(), deviceID.value(), subID1.value(), subID2.value()};
}

MIDI1Bytes UniversalSysEx7::midi1RawBytes(bool leadingF0, bool trailingF7) const {
    const auto head = header();
    return framed(leadingF0, head, data.span(), trailingF7);
}

UMPPackets UniversalSysEx7::umpRawWords() const {
    const auto head = header();
    return detail::sysEx7Packets(group, head, data.span());
}

std::string UniversalSysEx7::description() const {
    return "universalSysEx7(" + universalHeaderText(universalType, deviceID, subID1, subID2) +
           dataAndGroupText(data.span(), group) + ")";
}

size_t UniversalSysEx7::hash() const {
    const size_t seed = hashUniversalHeader(universalType, deviceID, subID1, subID2);
    return hashCombine(hashCombine(seed, data.hash()), group.hash());
}

// Eight-bit manufacturer message.

UMPPackets SysEx8::umpRawWords() const {
    const auto head = manufacturer.sysEx8RawBytes();
    return detail::sysEx8Packets(group, streamID, head, data);
}

std::string SysEx8::description() const {
    return "sysEx8(mfr: " + manufacturer.description() + dataAndGroupText(data, group) +
           ", streamID: " + std::to_string(streamID) + ")";
}

size_t SysEx8::hash() const {
    size_t seed = hashCombine(manufacturer.hash(), hashBytes(data));
    return hashCombine(hashCombine(seed, std::hash<uint8_t>{}(streamID)), group.hash());
}

// Eight-bit universal message.

UMPPackets UniversalSysEx8::umpRawWords() const {
    const std::array<uint8_t, 5> head{0x00, universalType.rawValue().value(), deviceID.value(),
                                      subID1.value(), subID2.value()};
    return detail::sysEx8Packets(group, streamID, head, data);
}

std::string UniversalSysEx8::description() const {
    return "universalSysEx8(" + universalHeaderText(universalType, deviceID, subID1, subID2) +
           dataAndGroupText(data, group) + ", streamID: " + std::to_string(streamID) + ")";
}

size_t UniversalSysEx8::hash() const {
    size_t seed = hashCombine(hashUniversalHeader(universalType, deviceID, subID1, subID2),
                              hashBytes(data));
    return hashCombine(hashCombine(seed, std::hash<uint8_t>{}(streamID)), group.hash());
}

}  // namespace midicore::events
