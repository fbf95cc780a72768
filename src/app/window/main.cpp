// The application's entry: one window over a controller. Nothing touches the network or the MIDI
// system until the user presses Start: the MIDI reader, and the store of its identifiers, are made
// by Start.
#include <QApplication>

#include "app/main_window.hpp"
#include "app/midi_reader.hpp"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Tessaloom MIDI Server");
    companion::CompanionOptions options;
    options.makeMidiInput = [](companion::MidiEventHandler onEvent) {
        return companion::MidiReader::factory()(std::move(onEvent));
    };
    companion::MainWindow window(companion::CompanionController::make(std::move(options)));
    window.show();
    return QApplication::exec();
}
