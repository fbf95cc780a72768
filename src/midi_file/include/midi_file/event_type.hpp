// The kinds of track event, and the leading bytes of each meta event kind.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "midi_file/enumerations.hpp"

namespace midifile {

// The 22 kinds of track event, without payloads; the raw value is the case name.
enum class MIDIFileEventType : uint8_t {
    cc,
    channelPrefix,
    keySignature,
    noteOff,
    noteOn,
    notePressure,
    pitchBend,
    portPrefix,
    pressure,
    programChange,
    rpn,
    nrpn,
    sequenceNumber,
    sequencerSpecific,
    smpteOffset,
    sysEx7,
    tempo,
    text,
    timeSignature,
    universalSysEx7,
    unrecognizedMeta,
    xmfPatchTypePrefix,
};

template <>
struct EnumerationCases<MIDIFileEventType> {
    using enum MIDIFileEventType;
    static constexpr std::array cases{
        cc,          channelPrefix,  keySignature,   noteOff,           noteOn,      notePressure,
        pitchBend,   portPrefix,     pressure,       programChange,     rpn,         nrpn,
        sequenceNumber, sequencerSpecific, smpteOffset, sysEx7,         tempo,       text,
        timeSignature, universalSysEx7, unrecognizedMeta, xmfPatchTypePrefix};
    static constexpr std::array<std::string_view, 22> names{
        "cc",          "channelPrefix",  "keySignature",   "noteOff",           "noteOn",
        "notePressure", "pitchBend",     "portPrefix",     "pressure",          "programChange",
        "rpn",         "nrpn",           "sequenceNumber", "sequencerSpecific", "smpteOffset",
        "sysEx7",      "tempo",          "text",           "timeSignature",     "universalSysEx7",
        "unrecognizedMeta", "xmfPatchTypePrefix"};
};

// The kinds of text meta event (FF 01 ... FF 09); the raw value is the case name. Text names it
// Text::EventType.
enum class TextEventType : uint8_t {
    copyright = 0x02,
    marker = 0x06,
    cuePoint = 0x07,
    trackOrSequenceName = 0x03,
    instrumentName = 0x04,
    text = 0x01,
    programName = 0x08,
    deviceName = 0x09,
    lyric = 0x05,
};

template <>
struct EnumerationCases<TextEventType> {
    using enum TextEventType;
    static constexpr std::array cases{copyright,   marker,      cuePoint,   trackOrSequenceName,
                                      instrumentName, text,     programName, deviceName, lyric};
    static constexpr std::array<std::string_view, 9> names{
        "copyright", "marker",      "cuePoint",   "trackOrSequenceName", "instrumentName",
        "text",      "programName", "deviceName", "lyric"};
};

// The leading bytes of a meta event kind: FF, the meta type and, for the kinds of fixed length,
// the length byte (FF 51 03 for tempo); FF 60 for the XMF patch type prefix and FF 7F for
// sequencer-specific data, whose lengths their codecs handle. Empty for the other kinds.
std::span<const uint8_t> metaEventPrefix(MIDIFileEventType type);

// FF and the type byte of a text event kind.
constexpr std::array<uint8_t, 2> textEventPrefix(TextEventType type) {
    return {0xFF, static_cast<uint8_t>(type)};
}

}  // namespace midifile
