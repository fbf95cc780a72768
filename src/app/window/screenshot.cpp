// Writes a picture of the application's window to a PNG file, so that its layout can be looked
// at without a person at the screen (for example under xvfb-run).
//
//   app_window_screenshot OUT.png [--log]
//
// With --log the output log holds one line of each colour. Nothing reaches the network.
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <cstring>

#include "app/main_window.hpp"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png [--log]\n", argv[0]);
        return 2;
    }
    QApplication application(argc, argv);
    auto controller = companion::CompanionController::make();
    companion::MainWindow window(controller);
    if (argc > 2 && std::strcmp(argv[2], "--log") == 0) {
        using companion::LogColor;
        controller->appendLog("Server started", LogColor::white);
        controller->appendLog("Converting piece...", LogColor::gray);
        controller->appendLog("Conversion successful", LogColor::yellow);
        controller->appendLog("Uploading piece...", LogColor::gray);
        controller->appendLog("Upload complete", LogColor::green);
        controller->appendLog("Conversion failed", LogColor::red);
    }
    window.show();
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
