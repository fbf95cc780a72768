#include "app/midi_reader.hpp"

#include "dispatch/queue.hpp"
#include "midi_io/input.hpp"

namespace companion {

MidiReader::MidiReader(MidiEventHandler onEvent, std::shared_ptr<midiio::KeyValueStore> defaults)
    : midiManager_(midiio::MIDIManager::make(clientName, model, manufacturer)) {
    // One incoming batch becomes one main-queue block, which hands its events over in order.
    auto batch = [onEvent = std::move(onEvent)](const std::vector<midicore::MIDIEvent>& events) {
        dispatch::Queue::main()->async([onEvent, events] {
            for (const auto& event : events)
                onEvent(event);
        });
    };
    midiManager_->start();
    midiManager_->addInput(
        inputName, inputTag,
        midiio::MIDIIdentifierPersistence::userDefaultsManaged(inputTag, defaults),
        midiio::MIDIReceiver::events(true, batch));
    midiManager_->addInputConnection(
        midiio::MIDIEndpointIdentitySet{}, inputTag, midiio::MIDIConnectionMode::allEndpoints,
        midiio::MIDIEndpointFilter::ownedFilter(), midiio::MIDIReceiver::events(true, batch));
}

MidiReader::~MidiReader() = default;

void MidiReader::removeAll() {
    midiManager_->removeAll();
}

MidiInputFactory MidiReader::factory(std::shared_ptr<midiio::KeyValueStore> defaults) {
    return [defaults](MidiEventHandler onEvent) -> std::unique_ptr<MidiInput> {
        return std::make_unique<MidiReader>(std::move(onEvent), defaults);
    };
}

}  // namespace companion
