// The application's entry: one window over a controller. Nothing touches the network or the MIDI
// system until the user presses Start: the bridge to the MIDI system, the MIDI reader and the store
// of its identifiers are made by Start, and Stop lets go of the MIDI system again.
#include <QApplication>

#include <cstdlib>
#include <iostream>

#include "app/bridged_midi_input.hpp"
#include "app/main_window.hpp"
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
    // Each Start bridges the system's MIDI graph, each Stop lets go of it: while stopped, no port
    // of ours is in the graph and no program is connected to us.
    companion::CompanionOptions options;
    options.makeMidiInput = companion::bridgedMidiInput(chosenBackend());
    companion::MainWindow window(companion::CompanionController::make(std::move(options)));
    window.show();
    const int status = QApplication::exec();
    return status;
}
