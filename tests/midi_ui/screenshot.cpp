// Draws an inputs list and an outputs picker (with its drop-down open) over simulated MIDI
// hardware and writes them side by side into one PNG, for looking at the views by eye:
//
//     xvfb-run -a midi_ui_screenshot views.png
//
// The list shows a chosen device that was unplugged (a missing row with the warning icon), a
// device with an image and one without; the picker shows "None" and the same kinds of entries.
#include <QApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QThread>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "midi_ui/endpoint_views.hpp"
#include "midiservices/properties.hpp"
#include "midiservices/test_driver.hpp"

namespace ms = midiservices;

namespace {

ms::MIDIDriverDeviceDescription device(const std::string& name) {
    return {name, "", "", ms::MIDIProtocolID::midi1_0, {{"E", {name}, {name}}}};
}

// A 32 × 16 picture: a green field with a white band, so that squeezing shows.
void writePicture(const std::filesystem::path& path) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n32 16\n255\n";
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool band = x >= 12 && x < 20;
            const char pixel[] = {char(band ? 255 : 30), char(band ? 255 : 150), char(band ? 255 : 60)};
            out.write(pixel, 3);
        }
}

void settle() {
    for (int i = 0; i < 50; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    int status = 0;
    {
        ms::testdriver::SimulatedSystem system;
        const auto picture = std::filesystem::temp_directory_path() / "midi_ui_screenshot.ppm";
        writePicture(picture);
        const auto pictured = system.plug(device("Studio Synth"));
        ms::MIDIObjectSetStringProperty(pictured.device(), ms::kMIDIPropertyImage,
                                        picture.string());
        system.plug(device("Keys 49"));
        const auto pads = system.plug(device("Drum Pads"));
        const auto manager = midiio::MIDIManager::make("Screenshot", "Views", "Views");
        manager->start();
        system.drain();

        QWidget window;
        window.setWindowTitle("Endpoint views");
        auto* layout = new QHBoxLayout(&window);
        auto listSelection = std::make_shared<std::optional<int32_t>>();
        auto listName = std::make_shared<std::optional<std::string>>();
        auto* list = new midiui::MIDIInputsList(manager, midiui::SelectionBinding::to(listSelection),
                                                midiui::CachedNameBinding::to(listName), true, true);
        auto pickSelection = std::make_shared<std::optional<int32_t>>();
        auto pickName = std::make_shared<std::optional<std::string>>();
        auto* picker = new midiui::MIDIOutputsPicker(
            manager, "MIDI Source", midiui::SelectionBinding::to(pickSelection),
            midiui::CachedNameBinding::to(pickName), true, true);
        layout->addWidget(list);
        layout->addWidget(picker, 0, Qt::AlignTop);
        window.resize(560, 220);
        window.show();
        settle();

        // Choose the pads in both views, then unplug them.
        const int32_t padsID = midiio::MIDIInputEndpoint(pads.destination(0)).uniqueID;
        const int32_t padsSource = midiio::MIDIOutputEndpoint(pads.source(0)).uniqueID;
        list->setSelection(padsID);
        picker->setSelection(padsSource);
        system.unplug(pads);
        system.drain();
        settle();

        const QPixmap windowShot = window.grab();
        auto* combo = picker->picker()->comboBox();
        combo->showPopup();
        settle();
        const QPixmap popupShot = combo->view()->window()->grab();
        combo->hidePopup();

        QImage sheet(windowShot.width() + popupShot.width() + 30,
                     std::max(windowShot.height(), popupShot.height()) + 20,
                     QImage::Format_RGB32);
        sheet.fill(QColor(0x70, 0x70, 0x70));
        QPainter painter(&sheet);
        painter.drawPixmap(10, 10, windowShot);
        painter.drawPixmap(windowShot.width() + 20, 10, popupShot);
        painter.end();
        std::filesystem::remove(picture);
        if (!sheet.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
            std::fprintf(stderr, "could not write %s\n", argv[1]);
            status = 1;
        }
    }
    return status;
}
