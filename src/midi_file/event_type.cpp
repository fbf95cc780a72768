#include "midi_file/event_type.hpp"

namespace midifile {

std::span<const uint8_t> metaEventPrefix(MIDIFileEventType type) {
    static constexpr uint8_t sequenceNumber[] = {0xFF, 0x00, 0x02};
    static constexpr uint8_t channelPrefix[] = {0xFF, 0x20, 0x01};
    static constexpr uint8_t portPrefix[] = {0xFF, 0x21, 0x01};
    static constexpr uint8_t tempo[] = {0xFF, 0x51, 0x03};
    static constexpr uint8_t smpteOffset[] = {0xFF, 0x54, 0x05};
    static constexpr uint8_t timeSignature[] = {0xFF, 0x58, 0x04};
    static constexpr uint8_t keySignature[] = {0xFF, 0x59, 0x02};
    static constexpr uint8_t xmfPatchTypePrefix[] = {0xFF, 0x60};
    static constexpr uint8_t sequencerSpecific[] = {0xFF, 0x7F};
    switch (type) {
        case MIDIFileEventType::sequenceNumber:
            return sequenceNumber;
        case MIDIFileEventType::channelPrefix:
            return channelPrefix;
        case MIDIFileEventType::portPrefix:
            return portPrefix;
        case MIDIFileEventType::tempo:
            return tempo;
        case MIDIFileEventType::smpteOffset:
            return smpteOffset;
        case MIDIFileEventType::timeSignature:
            return timeSignature;
        case MIDIFileEventType::keySignature:
            return keySignature;
        case MIDIFileEventType::xmfPatchTypePrefix:
            return xmfPatchTypePrefix;
        case MIDIFileEventType::sequencerSpecific:
            return sequencerSpecific;
        default:
            return {};
    }
}

}  // namespace midifile
