// Payloads of meta events with small fixed forms and of the meta events that carry opaque data:
// channel prefix (FF 20 01 cc), port prefix (FF 21 01 pp), sequence number (FF 00 02 ss ss), key
// signature (FF 59 02 sf mi), sequencer-specific data (FF 7F, length, data), any other meta event
// kept byte for byte (FF, type, length, data) and the XMF patch type prefix (FF 60 01 pp).
//
// Each record implements the payload interface of payload.hpp through its members. Lengths are
// variable-length quantities; a length written with more bytes than it needs is accepted, and the
// stream decoders count the bytes actually read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "midi_core/unsigned_integer.hpp"
#include "midi_file/enumerations.hpp"
#include "midi_file/errors.hpp"
#include "midi_file/event_type.hpp"

namespace midifile {

// The MIDI channel that the following meta and system exclusive events belong to.
struct ChannelPrefix {
    static constexpr MIDIFileEventType smfEventType = MIDIFileEventType::channelPrefix;

    midicore::UInt4 channel{};

    static DecodeResult<ChannelPrefix> tryFromRawBytes(std::span<const uint8_t> bytes);
    static ChannelPrefix fromRawBytes(std::span<const uint8_t> bytes) {
        return tryFromRawBytes(bytes).value();
    }
    static StreamDecodeResult<ChannelPrefix> decode(std::span<const uint8_t> stream);
    std::vector<uint8_t> smfRawBytes() const;
    // "chanPrefix: 0xA"; "ChannelPrefix(0xA)".
    std::string description() const;
    std::string debugDescription() const;

    friend bool operator==(const ChannelPrefix&, const ChannelPrefix&) = default;
};

// The MIDI port that the track's events go to.
struct PortPrefix {
    static constexpr MIDIFileEventType smfEventType = MIDIFileEventType::portPrefix;

    midicore::UInt7 port{};

    static DecodeResult<PortPrefix> tryFromRawBytes(std::span<const uint8_t> bytes);
    static PortPrefix fromRawBytes(std::span<const uint8_t> bytes) {
        return tryFromRawBytes(bytes).value();
    }
    static StreamDecodeResult<PortPrefix> decode(std::span<const uint8_t> stream);
    std::vector<uint8_t> smfRawBytes() const;
    // "port:5"; "PortPrefix(5)".
    std::string description() const;
    std::string debugDescription() const;

    friend bool operator==(const PortPrefix&, const PortPrefix&) = default;
};

// The number of a sequence, 0...32767.
class SequenceNumber {
  public:
    static constexpr MIDIFileEventType smfEventType = MIDIFileEventType::sequenceNumber;

    SequenceNumber() = default;
    // Stored as given, unchecked.
    explicit SequenceNumber(uint16_t sequence) : sequence_(sequence) {}

    uint16_t sequence() const { return sequence_; }
    // Stores the value limited to 32767.
    void setSequence(uint16_t sequence) { sequence_ = sequence > 0x7FFF ? 0x7FFF : sequence; }

    static DecodeResult<SequenceNumber> tryFromRawBytes(std::span<const uint8_t> bytes);
    static SequenceNumber fromRawBytes(std::span<const uint8_t> bytes) {
        return tryFromRawBytes(bytes).value();
    }
    static StreamDecodeResult<SequenceNumber> decode(std::span<const uint8_t> stream);
    std::vector<uint8_t> smfRawBytes() const;
    // "seqNum:258"; "SequenceNumber(258)".
    std::string description() const;
    std::string debugDescription() const;

    friend bool operator==(const SequenceNumber&, const SequenceNumber&) = default;

  private:
    uint16_t sequence_ = 0;
};

// A key: sharps (positive) or flats (negative), -7...7, and major or minor.
class KeySignature {
  public:
    static constexpr MIDIFileEventType smfEventType = MIDIFileEventType::keySignature;

    KeySignature() = default;
    // Stored as given, unchecked.
    KeySignature(int8_t flatsOrSharps, bool majorKey)
        : flatsOrSharps_(flatsOrSharps), majorKey_(majorKey) {}

    int8_t flatsOrSharps() const { return flatsOrSharps_; }
    // Stores the value limited to -7...7.
    void setFlatsOrSharps(int8_t value) {
        flatsOrSharps_ = value < -7 ? int8_t{-7} : value > 7 ? int8_t{7} : value;
    }
    bool majorKey() const { return majorKey_; }
    void setMajorKey(bool majorKey) { majorKey_ = majorKey; }

    static DecodeResult<KeySignature> tryFromRawBytes(std::span<const uint8_t> bytes);
    static KeySignature fromRawBytes(std::span<const uint8_t> bytes) {
        return tryFromRawBytes(bytes).value();
    }
    static StreamDecodeResult<KeySignature> decode(std::span<const uint8_t> stream);
    std::vector<uint8_t> smfRawBytes() const;
    // "3♯ Major", "2♭ Minor", "No signature Major"; "KeySignature(" + that + ")".
    std::string description() const;
    std::string debugDescription() const;

    friend bool operator==(const KeySignature&, const KeySignature&) = default;

  private:
    int8_t flatsOrSharps_ = 0;
    bool majorKey_ = true;
};

// Data for one sequencer, of any length.
struct SequencerSpecific {
    static constexpr MIDIFileEventType smfEventType = MIDIFileEventType::sequencerSpecific;

    std::vector<uint8_t> data;

    static DecodeResult<SequencerSpecific> tryFromRawBytes(std::span<const uint8_t> bytes);
    static SequencerSpecific fromRawBytes(std::span<const uint8_t> bytes) {
        return tryFromRawBytes(bytes).value();
    }
    static StreamDecodeResult<SequencerSpecific> decode(std::span<const uint8_t> stream);
    std::vector<uint8_t> smfRawBytes() const;
    // "sequencerSpecific: 3 bytes"; "SequencerSpecific(3 bytes: [0x00, 0x21, 0x1D])".
    std::string description() const;
    std::string debugDescription() const;

    friend bool operator==(const SequencerSpecific&, const SequencerSpecific&) = default;
};

// Any meta event, kept byte for byte: those without a record of their own and those whose bytes
// their own decoder refuses.
struct UnrecognizedMeta {
    static constexpr MIDIFileEventType smfEventType = MIDIFileEventType::unrecognizedMeta;

    uint8_t metaType = 0;
    std::vector<uint8_t> data;

    static DecodeResult<UnrecognizedMeta> tryFromRawBytes(std::span<const uint8_t> bytes);
    static UnrecognizedMeta fromRawBytes(std::span<const uint8_t> bytes) {
        return tryFromRawBytes(bytes).value();
    }
    static StreamDecodeResult<UnrecognizedMeta> decode(std::span<const uint8_t> stream);
    std::vector<uint8_t> smfRawBytes() const;
    // "meta: 10, 3 bytes"; "UnrecognizedMeta(type: 10, 3 bytes: [0x41, 0x42, 0x43]".
    std::string description() const;
    std::string debugDescription() const;

    friend bool operator==(const UnrecognizedMeta&, const UnrecognizedMeta&) = default;
};

// The instrument set that the following events assume. XMFPatchTypePrefix names it
// XMFPatchTypePrefix::PatchSet.
enum class XMFPatchSet : uint8_t {
    generalMIDI1 = 1,
    generalMIDI2 = 2,
    DLS = 3,
};

template <>
struct EnumerationCases<XMFPatchSet> {
    using enum XMFPatchSet;
    static constexpr std::array cases{generalMIDI1, generalMIDI2, DLS};
};

// "General MIDI 1", "General MIDI 2", "DLS".
std::string description(XMFPatchSet patchSet);

struct XMFPatchTypePrefix {
    using PatchSet = XMFPatchSet;
    static constexpr MIDIFileEventType smfEventType = MIDIFileEventType::xmfPatchTypePrefix;

    PatchSet patchSet = PatchSet::generalMIDI1;

    static DecodeResult<XMFPatchTypePrefix> tryFromRawBytes(std::span<const uint8_t> bytes);
    static XMFPatchTypePrefix fromRawBytes(std::span<const uint8_t> bytes) {
        return tryFromRawBytes(bytes).value();
    }
    static StreamDecodeResult<XMFPatchTypePrefix> decode(std::span<const uint8_t> stream);
    std::vector<uint8_t> smfRawBytes() const;
    // "patchPrefix:General MIDI 2"; "XMFPatchTypePrefix(General MIDI 2)".
    std::string description() const;
    std::string debugDescription() const;

    friend bool operator==(const XMFPatchTypePrefix&, const XMFPatchTypePrefix&) = default;
};

}  // namespace midifile

template <>
struct std::hash<midifile::ChannelPrefix> {
    size_t operator()(const midifile::ChannelPrefix& p) const { return p.channel.value(); }
};
template <>
struct std::hash<midifile::PortPrefix> {
    size_t operator()(const midifile::PortPrefix& p) const { return p.port.value(); }
};
template <>
struct std::hash<midifile::SequenceNumber> {
    size_t operator()(const midifile::SequenceNumber& p) const { return p.sequence(); }
};
template <>
struct std::hash<midifile::KeySignature> {
    size_t operator()(const midifile::KeySignature& p) const;
};
template <>
struct std::hash<midifile::SequencerSpecific> {
    size_t operator()(const midifile::SequencerSpecific& p) const;
};
template <>
struct std::hash<midifile::UnrecognizedMeta> {
    size_t operator()(const midifile::UnrecognizedMeta& p) const;
};
template <>
struct std::hash<midifile::XMFPatchTypePrefix> {
    size_t operator()(const midifile::XMFPatchTypePrefix& p) const {
        return static_cast<size_t>(p.patchSet);
    }
};
