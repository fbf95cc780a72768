// The companion's MIDI input: a MIDI manager with a virtual destination that other software can
// send to ("Tessaloom MIDI In", whose unique ID is kept under "Virtual_MIDI_In" between runs) and
// an input connection to every MIDI source of the system but the manager's own, which follows
// sources as they come and go. Both deliver to one callback, on the main thread, one event at a
// time in arrival order; a MIDI 1.0 Note On of velocity 0 arrives as a Note Off.
#pragma once

#include <memory>

#include "app/controller.hpp"
#include "midi_io/key_value_store.hpp"
#include "midi_io/manager.hpp"

namespace companion {

class MidiReader : public MidiInput {
  public:
    static constexpr const char* clientName = "TessaloomMIDIModule";
    static constexpr const char* model = "Tessaloom";
    static constexpr const char* manufacturer = "Tessaloom";
    static constexpr const char* inputName = "Tessaloom MIDI In";
    static constexpr const char* inputTag = "Virtual_MIDI_In";

    // Starts the manager and adds the virtual input and the input connection. Throws the
    // manager's MIDIIOError unchanged; what was made so far is released.
    explicit MidiReader(MidiEventHandler onEvent, std::shared_ptr<midiio::KeyValueStore> defaults =
                                                      midiio::KeyValueStore::standard());
    ~MidiReader() override;

    const std::shared_ptr<midiio::MIDIManager>& midiManager() const { return midiManager_; }
    // Removes the virtual input and the input connection from the system.
    void removeAll() override;

    // A factory for CompanionOptions::makeMidiInput.
    static MidiInputFactory factory(
        std::shared_ptr<midiio::KeyValueStore> defaults = midiio::KeyValueStore::standard());

  private:
    std::shared_ptr<midiio::MIDIManager> midiManager_;
};

}  // namespace companion
