// The application's entry: one window over a controller. Nothing touches the network or the MIDI
// system until the user presses Start: the MIDI system, the MIDI reader and the store of its
// identifiers are made by Start.
#include <QApplication>

#include <cstdlib>
#include <iostream>
#include <optional>

#include "app/main_window.hpp"
#include "app/midi_reader.hpp"
#include "midiservices/jack.hpp"

namespace {

// Which MIDI system to use: $TESSALOOM_MIDI_BACKEND ("auto", "jack" or "in-process"); JACK when a
// server answers by default, the in-process MIDI services otherwise.
midiservices::jack::MIDIBackend chosenBackend() {
    const char* setting = std::getenv("TESSALOOM_MIDI_BACKEND");
    if (setting == nullptr || *setting == '\0') return midiservices::jack::MIDIBackend::automatic;
    if (auto backend = midiservices::jack::parseMIDIBackend(setting)) return *backend;
    std::cout << "Unknown MIDI backend \"" << setting
              << "\" (use auto, jack or in-process); choosing automatically" << std::endl;
    return midiservices::jack::MIDIBackend::automatic;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Tessaloom MIDI Server");
    // The bridge to the system's MIDI graph lives as long as the application, from the first Start.
    std::optional<midiservices::jack::MIDIBackendChoice> backend;
    companion::CompanionOptions options;
    options.makeMidiInput = [&backend](companion::MidiEventHandler onEvent) {
        if (!backend) {
            backend = midiservices::jack::startMIDIBackend(chosenBackend());
            std::cout << backend->logLine << std::endl;
        }
        return companion::MidiReader::factory()(std::move(onEvent));
    };
    companion::MainWindow window(companion::CompanionController::make(std::move(options)));
    window.show();
    const int status = QApplication::exec();
    return status;
}
