// The Qt lists and pickers over a manager and simulated MIDI hardware, drawn offscreen.
#include <gtest/gtest.h>

#include <QApplication>

#include <filesystem>
#include <fstream>

#include "midi_ui/endpoint_views.hpp"
#include "midiservices/properties.hpp"
#include "midiservices/test_driver.hpp"
#include "wait_for.hpp"

// Font configuration keeps a cache for the life of the process, which the leak checker reports.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}

namespace midiui {
namespace {

namespace ms = midiservices;
using midiio::MIDIManager;

QApplication& application() {
    static int argc = 1;
    static char name[] = "midi_ui_views_test";
    static char* argv[] = {name, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Kept to the end of the process: destroying it during exit crashes in the platform plugin.
    static QApplication* const app = new QApplication(argc, argv);
    return *app;
}

// Runs the GUI loop until `predicate` holds.
template <class Predicate>
bool settle(Predicate predicate) {
    return testsupport::waitFor([&] {
        QCoreApplication::processEvents();
        return predicate();
    });
}

// GCC 12 wrongly warns that the persistence's variant storage may be used uninitialized here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
[[gnu::noinline]] midiio::MIDIIdentifierPersistence adHocID() {
    return midiio::MIDIIdentifierPersistence::adHoc();
}
#pragma GCC diagnostic pop

// A device with one source and one destination named `name`, optionally with an image.
ms::MIDIDriverDeviceDescription device(const std::string& name) {
    return {name, "", "", ms::MIDIProtocolID::midi1_0, {{"E", {name}, {name}}}};
}

// The embedding code's values, and a started manager over simulated hardware.
struct Bench {
    ms::testdriver::SimulatedSystem system;
    std::shared_ptr<MIDIManager> manager = MIDIManager::make("Views", "M", "F");
    std::shared_ptr<std::optional<int32_t>> selection = std::make_shared<std::optional<int32_t>>();
    std::shared_ptr<std::optional<std::string>> cachedName =
        std::make_shared<std::optional<std::string>>();

    Bench() {
        application();
        manager->start();
    }
    SelectionBinding selectionBinding() { return SelectionBinding::to(selection); }
    CachedNameBinding nameBinding() { return CachedNameBinding::to(cachedName); }
};

struct Row {
    QString text;
    std::optional<int32_t> id;
    EntryIcon icon;
    bool secondary;
};

std::vector<Row> rowsOf(const QAbstractItemModel& model) {
    std::vector<Row> rows;
    for (int r = 0; r < model.rowCount(); ++r) {
        const auto index = model.index(r, 0);
        const auto id = index.data(entryIDRole);
        rows.push_back({index.data(Qt::DisplayRole).toString(),
                        id.isValid() ? std::optional<int32_t>(id.toInt()) : std::nullopt,
                        static_cast<EntryIcon>(index.data(entryIconRole).toInt()),
                        index.data(Qt::ForegroundRole).isValid()});
    }
    return rows;
}

TEST(EndpointViews, PickerOffersNoneFirstAndKeepsAnUnpluggedChoiceAsMissing) {
    for (const bool showIcons : {true, false}) {
        SCOPED_TRACE(showIcons);
        Bench bench;
        bench.system.plug(device("Synth A"));
        const auto b = bench.system.plug(device("Synth B"));
        const auto* first = &b;  // keep b alive for the unplug below
        MIDIInputsPicker view(bench.manager, "Output to", bench.selectionBinding(),
                              bench.nameBinding(), showIcons, false);
        view.show();
        auto* combo = view.picker()->comboBox();
        ASSERT_TRUE(settle([&] { return combo->count() == 3; }));
        EXPECT_EQ(view.picker()->titleLabel()->text(), "Output to");
        auto rows = rowsOf(*combo->model());
        EXPECT_EQ(rows[0].text, "None");
        EXPECT_FALSE(rows[0].id.has_value());
        EXPECT_EQ(combo->currentIndex(), 0);  // no selection shows "None"
        EXPECT_EQ(rows[2].text, "Synth B");
        EXPECT_EQ(rows[2].icon, showIcons ? EntryIcon::pianoKeys : EntryIcon::none);

        // The user chooses Synth B: the selection and the cached name follow.
        combo->setCurrentIndex(2);
        const int32_t chosen = *rows[2].id;
        EXPECT_EQ(*bench.selection, chosen);
        EXPECT_EQ(*bench.cachedName, "Synth B");

        // Unplugged, it stays chosen as the first entry after "None", marked as missing.
        ASSERT_EQ(bench.system.unplug(*first), ms::noErr);
        ASSERT_TRUE(settle([&] { return rowsOf(*combo->model())[1].secondary; }));
        rows = rowsOf(*combo->model());
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[1].id, chosen);
        EXPECT_EQ(rows[1].text, showIcons ? "Synth B" : "Synth B (Missing)");
        EXPECT_EQ(rows[1].icon, showIcons ? EntryIcon::warning : EntryIcon::none);
        EXPECT_EQ(rows[2].text, "Synth A");
        EXPECT_EQ(combo->currentIndex(), 1);
        EXPECT_EQ(*bench.selection, chosen);

        // Choosing "None" clears the selection and the cached name; the missing entry goes.
        combo->setCurrentIndex(0);
        EXPECT_EQ(*bench.selection, std::nullopt);
        EXPECT_EQ(*bench.cachedName, std::nullopt);
        EXPECT_TRUE(settle([&] { return combo->count() == 2; }));
    }
}

TEST(EndpointViews, ListNamesTheChoiceAndFollowsTheEmbeddingCode) {
    Bench bench;
    const auto keys = bench.system.plug(device("Keys"));
    MIDIOutputsList view(bench.manager, bench.selectionBinding(), bench.nameBinding(), true,
                         false);
    view.show();
    auto* list = view.list();
    ASSERT_TRUE(settle([&] { return list->count() == 1; }));
    EXPECT_EQ(view.selectedLabel()->text(), "Selected: None");

    list->item(0)->setSelected(true);  // the user's choice
    const int32_t chosen = list->item(0)->data(entryIDRole).toInt();
    EXPECT_EQ(*bench.selection, chosen);
    EXPECT_EQ(view.selectedLabel()->text(), "Selected: Keys");

    ASSERT_EQ(bench.system.unplug(keys), ms::noErr);
    ASSERT_TRUE(settle([&] { return rowsOf(*list->model())[0].icon == EntryIcon::warning; }));
    const auto rows = rowsOf(*list->model());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].text, "Keys");
    EXPECT_TRUE(rows[0].secondary);
    EXPECT_TRUE(list->item(0)->isSelected());
    EXPECT_EQ(view.selectedLabel()->text(), "Selected: Keys");

    // The embedding code clears its own value; the next announced change picks it up.
    *bench.selection = std::nullopt;
    bench.system.plug(device("Pads"));
    ASSERT_TRUE(settle([&] { return view.selectedLabel()->text() == "Selected: None"; }));
    EXPECT_EQ(rowsOf(*list->model()).size(), 1u);
    EXPECT_EQ(list->item(0)->text(), "Pads");
    EXPECT_TRUE(list->selectedItems().isEmpty());
}

TEST(EndpointViews, OwnedFilterChangeAppliesAtOnce) {
    Bench bench;
    bench.system.plug(device("Keys"));
    const auto own = adHocID();
    bench.manager->addOutput("Own", "own", own);
    MIDIOutputsList list(bench.manager, bench.selectionBinding(), bench.nameBinding(), false,
                         false);
    MIDIOutputsPicker picker(bench.manager, "From", bench.selectionBinding(), bench.nameBinding(),
                             false, false);
    list.show();
    picker.show();
    auto* combo = picker.picker()->comboBox();
    ASSERT_TRUE(settle([&] { return list.list()->count() == 2 && combo->count() == 3; }));
    list.setFilterOwned(true);
    picker.setFilterOwned(true);
    EXPECT_EQ(list.list()->count(), 1);
    EXPECT_EQ(list.list()->item(0)->text(), "Keys");
    EXPECT_EQ(combo->count(), 2);
    list.setFilterOwned(false);
    EXPECT_EQ(list.list()->count(), 2);
}

TEST(EndpointViews, ViewsWithoutManagerAreRefusedWhenMade) {
    application();
    const auto selection = SelectionBinding::to(std::make_shared<std::optional<int32_t>>());
    const auto name = CachedNameBinding::to(std::make_shared<std::optional<std::string>>());
    EXPECT_THROW(MIDIInputsList(nullptr, selection, name, true, true), EndpointViewError);
    EXPECT_THROW(MIDIOutputsPicker(nullptr, "T", selection, name, true, true), EndpointViewError);
}

// A 32 × 16 image: the left half red, the right half blue.
std::vector<uint8_t> halvesPPM() {
    const std::string header = "P6\n32 16\n255\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool left = x < 16;
            bytes.insert(bytes.end(), {uint8_t(left ? 255 : 0), 0, uint8_t(left ? 0 : 255)});
        }
    return bytes;
}

TEST(EndpointViews, EndpointImagesAreSqueezedInPickersAndFittedInLists) {
    Bench bench;
    const auto path = std::filesystem::temp_directory_path() /
                      ("midi_ui_image_" + std::to_string(::getpid()) + ".ppm");
    {
        const auto bytes = halvesPPM();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    const auto pictured = bench.system.plug(device("Pictured"));
    ASSERT_EQ(ms::MIDIObjectSetStringProperty(pictured.device(), ms::kMIDIPropertyImage,
                                              path.string()),
              ms::noErr);
    MIDIInputsPicker picker(bench.manager, "To", bench.selectionBinding(), bench.nameBinding(),
                            true, false);
    MIDIInputsList list(bench.manager, bench.selectionBinding(), bench.nameBinding(), true, false);
    picker.show();
    list.show();
    auto* combo = picker.picker()->comboBox();
    ASSERT_TRUE(settle([&] {
        return combo->count() == 2 && combo->itemData(1, entryIconRole).toInt() ==
                                          static_cast<int>(EntryIcon::image);
    }));
    std::filesystem::remove(path);

    const auto squeezed = combo->itemIcon(1).availableSizes();
    ASSERT_EQ(squeezed.size(), 1);
    EXPECT_EQ(squeezed[0], QSize(16, 16));
    const QImage picked = combo->itemIcon(1).pixmap(QSize(16, 16)).toImage();
    EXPECT_EQ(picked.size(), QSize(16, 16));
    // Squeezed, not cropped: red stays on the left, blue on the right.
    EXPECT_GT(qRed(picked.pixel(3, 8)), 200);
    EXPECT_GT(qBlue(picked.pixel(12, 8)), 200);
    EXPECT_LT(qBlue(picked.pixel(3, 8)), 50);

    ASSERT_EQ(list.list()->count(), 1);
    EXPECT_EQ(list.list()->item(0)->icon().availableSizes().value(0), QSize(20, 10));
}

}  // namespace
}  // namespace midiui
