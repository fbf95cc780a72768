// Which interface of the MIDI services a managed object uses: the packet-list interface (MIDI 1.0
// bytes) or the event-list interface with a MIDI protocol. The event-list interface exists from
// operating-system version 11 on; wherever a version is stored, an unavailable one becomes the
// packet-list interface.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "midi_core/protocol_version.hpp"

namespace midiio {

class CoreMIDIAPIVersion {
  public:
    enum class Case { legacyCoreMIDI, newCoreMIDI };

    static CoreMIDIAPIVersion legacyCoreMIDI() { return CoreMIDIAPIVersion(Case::legacyCoreMIDI, {}); }
    static CoreMIDIAPIVersion newCoreMIDI(midicore::MIDIProtocolVersion protocol) {
        return CoreMIDIAPIVersion(Case::newCoreMIDI, protocol);
    }

    Case apiCase() const { return case_; }
    // The protocol of the event-list interface; none for the packet-list interface.
    std::optional<midicore::MIDIProtocolVersion> protocol() const {
        if (case_ == Case::legacyCoreMIDI) return std::nullopt;
        return protocol_;
    }
    // The protocol data travels in: MIDI 2.0 only for the event-list interface with MIDI 2.0.
    midicore::MIDIProtocolVersion midiProtocol() const {
        return case_ == Case::newCoreMIDI ? protocol_ : midicore::MIDIProtocolVersion::_1_0;
    }

    // The event-list interface with MIDI 2.0 from version 11 on, else the packet-list interface.
    static CoreMIDIAPIVersion preferredForThisSystem();
    // Whether the services of this system offer the interface.
    bool isAvailableOnThisSystem() const;
    // This version when available, else the packet-list interface: what is stored wherever a
    // version is kept.
    CoreMIDIAPIVersion availableOrLegacy() const {
        return isAvailableOnThisSystem() ? *this : legacyCoreMIDI();
    }

    // "Legacy Core MIDI API", or "New Core MIDI API (MIDI 1.0)" / "(MIDI 2.0)".
    std::string description() const;

    friend bool operator==(const CoreMIDIAPIVersion& a, const CoreMIDIAPIVersion& b) {
        return a.case_ == b.case_ && (a.case_ == Case::legacyCoreMIDI || a.protocol_ == b.protocol_);
    }
    // Legacy feeds 0; the new interface feeds 1, then the protocol's case index.
    size_t hash() const;

    friend std::ostream& operator<<(std::ostream& out, const CoreMIDIAPIVersion& v) {
        return out << v.description();
    }

  private:
    CoreMIDIAPIVersion(Case c, midicore::MIDIProtocolVersion p) : case_(c), protocol_(p) {}
    Case case_;
    midicore::MIDIProtocolVersion protocol_;
};

// Whether the operating system is at least version 11, where the event-list interface exists.
bool newCoreMIDIAPIAvailable();

// The interface of the objects the manager makes.
class MIDIManaged {
  public:
    virtual ~MIDIManaged() = default;
    virtual CoreMIDIAPIVersion api() const = 0;
};

}  // namespace midiio

template <>
struct std::hash<midiio::CoreMIDIAPIVersion> {
    size_t operator()(const midiio::CoreMIDIAPIVersion& v) const { return v.hash(); }
};
