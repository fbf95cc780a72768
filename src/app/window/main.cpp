// The application's entry: one window over a controller. Nothing touches the network or the MIDI
// system until the user presses Start.
#include <QApplication>

#include "app/main_window.hpp"
#include "window_options.hpp"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Tessaloom MIDI Server");
    companion::MainWindow window(companion::CompanionController::make(companion::windowOptions()));
    window.show();
    return QApplication::exec();
}
