// Arbitrary bytes as a whole Standard MIDI File. Reading either refuses with MIDIFileDecodeError
// or gives a file that writes without error and reads back equal: decode(encode(decode(x))) ==
// decode(x). Every event but a parameter change (which the track reader may join from separate
// events) is what the payload decoders make of its own bytes. Every text must be producible.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "midi_file/midi_file.hpp"
#include "midi_file/track_codec.hpp"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace midifile;
    MIDIFile file;
    try {
        file = MIDIFile::fromRawData(std::span(data, size));
    } catch (const MIDIFileDecodeError& error) {
        require(error.what()[0] != '\0');
        return 0;
    }
    for (const auto& track : file.tracks()) {
        for (const MIDIFileEvent& event : track.events) {
            if (event.payloadIf<MIDIFileEvent::RPN>() || event.payloadIf<MIDIFileEvent::NRPN>()) {
                continue;
            }
            const std::vector<uint8_t> bytes = event.smfRawBytes();
            const auto alone = tryPayloadDecoders(bytes);
            require(alone && alone->payload == event.payload());
        }
    }
    const std::vector<uint8_t> written = file.rawData();
    const MIDIFile again = MIDIFile::fromRawData(written);
    require(again == file);
    require(again.rawData() == written);
    require(std::hash<MIDIFile>{}(again) == std::hash<MIDIFile>{}(file));
    (void)file.description();
    (void)file.debugDescription();
    return 0;
}
