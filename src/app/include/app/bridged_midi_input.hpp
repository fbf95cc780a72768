// The window's MIDI input: the chosen MIDI system, bridged for as long as the input runs, with a
// MidiReader on it. Start makes it: it starts the backend (on JACK, our client joins the graph,
// listens to every program's MIDI output and mirrors its inputs) and then the reader. Stop calls
// removeAll(): the reader's objects go, then the bridge is released, which closes our JACK client
// (its ports and connections with it) and removes the bridged devices from the MIDI services. A
// program that appears while the input is stopped is therefore not connected to us; the next Start
// bridges the graph again, and the bridged endpoints come back under the same unique IDs.
//
// Threads: made, stopped and released on the main thread, as the controller does; the reader
// delivers on the main thread (see MidiReader).
#pragma once

#include <memory>

#include "app/controller.hpp"
#include "app/diagnostics.hpp"
#include "app/midi_reader.hpp"
#include "midi_io/key_value_store.hpp"
#include "midiservices/jack.hpp"

namespace companion {

class BridgedMidiInput : public MidiInput {
  public:
    // Starts `backend` (its log line goes to `diagnostics`), then the reader with `defaults` (none:
    // the standard store, taken now). Throws what the reader throws, having released the bridge
    // opened for it.
    BridgedMidiInput(MidiEventHandler onEvent, midiservices::jack::MIDIBackend backend,
                     const midiservices::jack::JackOptions& jackOptions = {},
                     std::shared_ptr<midiio::KeyValueStore> defaults = nullptr,
                     const DiagnosticSink& diagnostics = standardOutput());
    // Removes the reader's objects, then releases the bridge. Calling it again changes nothing.
    void removeAll() override;

  private:
    // Declared in this order so that the reader goes before the graph it is bridged into.
    std::unique_ptr<midiservices::jack::JackBridge> bridge_;  // null: the in-process services
    std::unique_ptr<MidiReader> reader_;
};

// A factory for CompanionOptions::makeMidiInput that makes a BridgedMidiInput at each Start.
// `defaults` none: the standard store, taken at Start (not when the factory is made).
MidiInputFactory bridgedMidiInput(midiservices::jack::MIDIBackend backend,
                                  midiservices::jack::JackOptions jackOptions = {},
                                  std::shared_ptr<midiio::KeyValueStore> defaults = nullptr,
                                  DiagnosticSink diagnostics = standardOutput());

}  // namespace companion
