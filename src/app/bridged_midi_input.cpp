#include "app/bridged_midi_input.hpp"

namespace companion {

BridgedMidiInput::BridgedMidiInput(MidiEventHandler onEvent,
                                   midiservices::jack::MIDIBackend backend,
                                   const midiservices::jack::JackOptions& jackOptions,
                                   std::shared_ptr<midiio::KeyValueStore> defaults,
                                   const DiagnosticSink& diagnostics) {
    auto choice = midiservices::jack::startMIDIBackend(backend, jackOptions);
    bridge_ = std::move(choice.bridge);
    if (diagnostics) diagnostics(choice.logLine);
    // The bridge has settled: the graph's programs are devices of the services already, so the
    // reader's connection to every source finds them. Should the reader throw, bridge_ is
    // released with this half-made object, so nothing of ours stays in the graph.
    reader_ = std::make_unique<MidiReader>(
        std::move(onEvent), defaults ? std::move(defaults) : midiio::KeyValueStore::standard());
}

void BridgedMidiInput::removeAll() {
    reader_->removeAll();
    // Closing our JACK client takes its ports and connections out of the graph; the bridged
    // devices leave the services with it.
    bridge_.reset();
}

MidiInputFactory bridgedMidiInput(midiservices::jack::MIDIBackend backend,
                                  midiservices::jack::JackOptions jackOptions,
                                  std::shared_ptr<midiio::KeyValueStore> defaults,
                                  DiagnosticSink diagnostics) {
    return [backend, jackOptions = std::move(jackOptions), defaults = std::move(defaults),
            diagnostics =
                std::move(diagnostics)](MidiEventHandler onEvent) -> std::unique_ptr<MidiInput> {
        return std::make_unique<BridgedMidiInput>(std::move(onEvent), backend, jackOptions,
                                                  defaults, diagnostics);
    };
}

}  // namespace companion
