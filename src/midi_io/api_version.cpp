#include "midi_io/api_version.hpp"

#include "io_detail.hpp"
#include "midiservices/services.hpp"

namespace midiio {

bool newCoreMIDIAPIAvailable() {
    return midiservices::MIDIServicesOperatingSystemVersion() >=
           midiservices::OperatingSystemVersion{11, 0, 0};
}

CoreMIDIAPIVersion CoreMIDIAPIVersion::preferredForThisSystem() {
    return newCoreMIDIAPIAvailable() ? newCoreMIDI(midicore::MIDIProtocolVersion::_2_0)
                                     : legacyCoreMIDI();
}

bool CoreMIDIAPIVersion::isAvailableOnThisSystem() const {
    return case_ == Case::legacyCoreMIDI || newCoreMIDIAPIAvailable();
}

std::string CoreMIDIAPIVersion::description() const {
    if (case_ == Case::legacyCoreMIDI) return "Legacy Core MIDI API";
    return "New Core MIDI API (" + midicore::description(protocol_) + ")";
}

size_t CoreMIDIAPIVersion::hash() const {
    if (case_ == Case::legacyCoreMIDI) return detail::hashCombine(0, 0);
    return detail::hashCombine(detail::hashCombine(0, 1),
                               protocol_ == midicore::MIDIProtocolVersion::_1_0 ? 0 : 1);
}

}  // namespace midiio
