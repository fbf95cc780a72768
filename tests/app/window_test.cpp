// The window over the controller, offscreen: its launch state, enabling per state, the coloured
// log, accessibility, and a run against the fake headset on the loopback interface.
#include <QAccessible>
#include <QApplication>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QWheelEvent>
#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

#include "app/main_window.hpp"
#include "app/midi_reader.hpp"
#include "harness.hpp"
#include "midiservices/test_driver.hpp"

// The font library keeps its configuration for the process's lifetime.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace companion::testing {
namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "app_window_test";
    static char* argv[] = {name, nullptr};
    // Offscreen unless the caller chose a platform, so that no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static auto* app = new QApplication(argc, argv);
    return *app;
}

QColor lampColor(const QFrame* lamp) {
    return lamp->palette().color(QPalette::Window);
}

struct WindowBench {
    // A MIDI system with one keyboard, and the reader's identifiers kept in a file of the test.
    midiservices::testdriver::SimulatedSystem system;
    midiservices::testdriver::SimulatedDevice keys = system.plug(
        {"Keys", "Keys", "Maker", midiservices::MIDIProtocolID::midi1_0, {{"E", {"Keys"}, {}}}});
    std::string defaultsFile = "/tmp/app_window_test_" + std::to_string(::getpid());
    int inputsMade = 0;
    std::unique_ptr<Harness> h;
    std::unique_ptr<MainWindow> window;

    explicit WindowBench(HostLookup lookUpHost = {}) {
        application();
        CompanionOptions options;
        options.lookUpHost = std::move(lookUpHost);
        options.makeMidiInput = [this](MidiEventHandler handler) -> std::unique_ptr<MidiInput> {
            ++inputsMade;
            return MidiReader::factory(std::make_shared<midiio::KeyValueStore>(defaultsFile))(
                std::move(handler));
        };
        h = std::make_unique<Harness>(FakeHeadset::Options{}, options);
        h->controller->ipAddress = "192.168.0.0";  // as at launch
        window = std::make_unique<MainWindow>(h->controller);
        window->show();
    }
    ~WindowBench() {
        window.reset();
        h.reset();
        std::filesystem::remove(defaultsFile);
    }
    const MainWindow::Parts& parts() const { return window->parts(); }
    // Processes the GUI thread's events (which pump the main queue) until `predicate` holds. The
    // bound is roomy: on a loaded machine a sanitized build can take seconds to relay one note.
    static bool waitFor(const std::function<bool()>& predicate) {
        return QTest::qWaitFor(predicate, 20000);
    }
    // Plays one packet on the keyboard.
    void play(const std::vector<uint8_t>& bytes) { ASSERT_EQ(system.play(keys.source(0), bytes), 0); }
    QStringList logLines() const {
        QStringList lines = parts().log->toPlainText().split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
        return lines;
    }
};

TEST(Window, LaunchesIdleWithNothingStarted) {
    WindowBench bench;
    const auto& p = bench.parts();
    EXPECT_EQ(p.address->text(), "192.168.0.0");
    EXPECT_EQ(p.address->placeholderText(), "IP Address of your headset");
    EXPECT_EQ(p.file->placeholderText(), "Select (.mxl, .musicxml, .xml, .mid)");
    EXPECT_TRUE(p.start->isEnabled());
    EXPECT_FALSE(p.stop->isEnabled());
    for (QWidget* w : {static_cast<QWidget*>(p.file), static_cast<QWidget*>(p.browse),
                       static_cast<QWidget*>(p.upload)})
        EXPECT_FALSE(w->isEnabled()) << w->accessibleName().toStdString();
    EXPECT_TRUE(p.log->isEnabled());  // the log can be read back in every state
    EXPECT_EQ(lampColor(p.onOffLamp), QColor(Qt::red));
    EXPECT_EQ(lampColor(p.midiLamp), QColor(Qt::gray));
    EXPECT_TRUE(p.log->document()->isEmpty());
    EXPECT_TRUE(p.midiError->text().isEmpty());
    EXPECT_EQ(bench.inputsMade, 0);
    EXPECT_FALSE(bench.h->controller->hasMidiInput());
    // The picker takes one existing file of any kind.
    const auto dialog = bench.window->makeFileDialog();
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog->nameFilters(), QStringList{"All files (*)"});
}

TEST(Window, EnablesControlsPerStateAlsoWhenTheStateChangesOffTheGuiThread) {
    WindowBench bench;
    const auto& p = bench.parts();
    struct Case {
        const char* state;
        bool running, uploading;
        bool start, stop, uploadColumn;
        Qt::GlobalColor onOff;
    } cases[] = {
        {"running", true, false, false, true, true, Qt::green},
        {"uploading", true, true, false, true, false, Qt::green},  // Stop stays usable
        {"idle", false, false, true, false, false, Qt::red},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        std::thread([&] {
            bench.h->controller->isRunning.set(c.running);
            bench.h->controller->isUploading.set(c.uploading);
        }).join();
        ASSERT_TRUE(bench.waitFor([&] { return p.stop->isEnabled() == c.stop; }));
        ASSERT_TRUE(bench.waitFor([&] { return p.upload->isEnabled() == c.uploadColumn; }));
        EXPECT_EQ(p.start->isEnabled(), c.start);
        EXPECT_EQ(p.browse->isEnabled(), c.uploadColumn);
        EXPECT_EQ(p.file->isEnabled(), c.uploadColumn);
        EXPECT_TRUE(p.address->isEnabled());
        EXPECT_EQ(lampColor(p.onOffLamp), QColor(c.onOff));
    }
    EXPECT_EQ(bench.h->offMainCalls.load(), 2 * 3);  // the sets above, not the window's
}

TEST(Window, LogLinesAreRunsInTheirColourEachEndedByAnUncolouredLineFeed) {
    WindowBench bench;
    bench.h->controller->appendLog("Conversion failed", LogColor::red);
    bench.h->controller->appendLog("Upload complete", LogColor::green);
    const QTextDocument* doc = bench.parts().log->document();
    EXPECT_EQ(doc->toPlainText(), "Conversion failed\nUpload complete\n");
    struct Run {
        QString text;
        QColor color;
    };
    std::vector<Run> runs;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        if (block != doc->begin()) {
            // The line feed before this block carries no colour of its own.
            EXPECT_FALSE(block.charFormat().hasProperty(QTextFormat::ForegroundBrush));
        }
        for (auto it = block.begin(); !it.atEnd(); ++it)
            runs.push_back({it.fragment().text(), it.fragment().charFormat().foreground().color()});
    }
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].text, "Conversion failed");
    EXPECT_EQ(runs[0].color, QColor(Qt::red));
    EXPECT_EQ(runs[1].text, "Upload complete");
    EXPECT_EQ(runs[1].color, QColor(Qt::green));
}

TEST(Window, ControlsAreNamedForScreenReadersAndTabFollowsTheLayout) {
    WindowBench bench;
    const auto& p = bench.parts();
    const std::vector<QWidget*> named = {p.address, p.start,  p.stop,   p.midiError,
                                         p.onOffLamp, p.midiLamp, p.file, p.browse,
                                         p.upload,  p.log,    p.help};
    for (QWidget* w : named)
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
    EXPECT_FALSE(p.log->accessibleDescription().isEmpty());
    EXPECT_EQ(p.onOffLamp->accessibleDescription(), "Off");

    // Tab from the address field through every control that takes focus by Tab.
    const std::vector<QWidget*> expected = {p.address, p.start, p.stop, p.file,
                                            p.browse,  p.upload, p.log};
    std::vector<QWidget*> order = {p.address};
    for (QWidget* w = p.address->nextInFocusChain(); w != p.address && order.size() < 40;
         w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && w->window() == bench.window.get())
            order.push_back(w);
    EXPECT_EQ(order, expected);
}

TEST(Window, RelaysNotesAndUploadsAPieceToTheHeadsetOnLoopback) {
    WindowBench bench;
    const auto& p = bench.parts();
    auto& headset = *bench.h->headset;
    const std::filesystem::path score =
        std::filesystem::path(PROJECT_TEST_DATA_DIR) / "musicxml" / "clair-de-la-lune.musicxml";

    p.address->selectAll();
    QTest::keyClicks(p.address, "127.0.0.1");
    EXPECT_EQ(bench.h->controller->ipAddress, "127.0.0.1");
    QTest::mouseClick(p.start, Qt::LeftButton);
    ASSERT_TRUE(bench.waitFor([&] { return p.stop->isEnabled(); }));
    EXPECT_EQ(bench.inputsMade, 1);
    EXPECT_EQ(bench.logLines(), QStringList{"Server started"});

    bench.play({0x90, 0x3C, 0x64});
    ASSERT_TRUE(bench.waitFor([&] { return lampColor(p.midiLamp) == QColor(Qt::green); }));
    ASSERT_TRUE(headset.waitForDatagrams(1, std::chrono::seconds(5)));
    EXPECT_EQ(headset.datagrams()[0].bytes, (std::vector<uint8_t>{0x90, 0x3C, 0x64}));
    bench.play({0x90, 0x3C, 0x00});  // velocity 0: a Note Off

    ASSERT_TRUE(bench.waitFor([&] { return lampColor(p.midiLamp) == QColor(Qt::gray); }));
    ASSERT_TRUE(headset.waitForDatagrams(2, std::chrono::seconds(5)));
    EXPECT_EQ(headset.datagrams()[1].bytes, (std::vector<uint8_t>{0x80, 0x3C, 0x00}));

    bench.window->fileImported(score);  // in place of the picker
    EXPECT_EQ(p.file->text(), "clair-de-la-lune.musicxml");
    QTest::mouseClick(p.upload, Qt::LeftButton);
    EXPECT_TRUE(p.stop->isEnabled());
    EXPECT_FALSE(p.upload->isEnabled());
    ASSERT_TRUE(bench.waitFor([&] { return bench.logLines().contains("Upload complete"); }));
    ASSERT_TRUE(headset.waitForUploads(1, std::chrono::seconds(5)));
    const auto received = headset.uploads()[0].received;
    EXPECT_EQ(std::string(received.begin(), received.end()).rfind("clair-de-la-lune.jps\n", 0), 0u);
    ASSERT_TRUE(bench.waitFor([&] { return p.upload->isEnabled(); }));

    QTest::mouseClick(p.stop, Qt::LeftButton);
    EXPECT_TRUE(p.start->isEnabled());
    EXPECT_EQ(lampColor(p.onOffLamp), QColor(Qt::red));
    EXPECT_EQ(bench.logLines().last(), "Server stopped");
}

TEST(Window, ReturnOrEnterOnAFocusedButtonPressesIt) {
    WindowBench bench;
    const auto& p = bench.parts();
    auto& c = *bench.h->controller;
    c.ipAddress = "127.0.0.1";
    struct Step {
        QPushButton* button;
        Qt::Key key;
        std::function<bool()> pressed;
    } steps[] = {
        {p.start, Qt::Key_Return, [&] { return c.isRunning.get(); }},
        {p.upload, Qt::Key_Enter,  // no file picked: the conversion fails at once
         [&] { return bench.logLines().endsWith("Conversion failed"); }},
        {p.stop, Qt::Key_Return, [&] { return !c.isRunning.get(); }},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.button->text().toStdString());
        ASSERT_TRUE(bench.waitFor([&] { return step.button->isEnabled(); }));
        step.button->setFocus();
        QTest::keyClick(step.button, step.key);
        EXPECT_TRUE(bench.waitFor(step.pressed));
        if (step.button == p.start) {
            // A note lights the MIDI indicator: Stop is to turn it off.
            bench.play({0x90, 0x3C, 0x64});
            ASSERT_TRUE(bench.waitFor([&] { return lampColor(p.midiLamp) == QColor(Qt::green); }));
        }
    }
    EXPECT_EQ(lampColor(p.midiLamp), QColor(Qt::gray));
    EXPECT_EQ(p.midiLamp->accessibleDescription(), "Off");
}

TEST(Window, TheLogFollowsItsNewestLineUnlessTheUserScrolledUp) {
    WindowBench bench;
    auto& c = *bench.h->controller;
    QScrollBar* scroll = bench.parts().log->verticalScrollBar();
    auto appendLines = [&](int count) {
        for (int i = 0; i < count; ++i)
            c.appendLog("line " + std::to_string(i), LogColor::white);
        QApplication::processEvents();
    };
    appendLines(100);
    ASSERT_GT(scroll->maximum(), 0);
    EXPECT_EQ(scroll->value(), scroll->maximum());  // followed

    scroll->setValue(scroll->maximum() / 2);  // the user scrolls up to read
    const int reading = scroll->value();
    appendLines(20);
    EXPECT_EQ(scroll->value(), reading);  // left where the user is

    scroll->setValue(scroll->maximum());  // back at the newest line
    appendLines(20);
    EXPECT_EQ(scroll->value(), scroll->maximum());
    EXPECT_TRUE(bench.logLines().endsWith("line 19"));
}

// What a screen reader reads for a widget: its accessible name and description.
QString spoken(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible->text(QAccessible::Name) + "\n" + accessible->text(QAccessible::Description);
}

TEST(Window, AScreenReaderReadsTheHelpTextAndTheMidiErrorItself) {
    WindowBench bench;
    const auto& p = bench.parts();
    EXPECT_TRUE(spoken(p.help).contains(MainWindow::helpText)) << spoken(p.help).toStdString();
    bench.h->controller->midiErrorText.set("Could not connect to MIDI device");
    EXPECT_TRUE(spoken(p.midiError).contains("Could not connect to MIDI device"))
        << spoken(p.midiError).toStdString();
    bench.h->controller->midiErrorText.set("");
    EXPECT_FALSE(spoken(p.midiError).contains("Could not connect"));
}

// The width a line edit's text has: its contents rectangle as the style lays it out, less the
// text margins and the 2 pixels the line edit keeps clear on each side.
int textWidth(const QLineEdit* field) {
    QStyleOptionFrame option;
    option.initFrom(field);
    option.rect = field->rect();
    option.lineWidth = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field);
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    const QRect contents = field->style()->subElementRect(QStyle::SE_LineEditContents, &option, field);
    return contents.width() - field->textMargins().left() - field->textMargins().right() - 4;
}

TEST(Window, AFullIpv4AddressIsShownWholeWhileTypingAndAfterwards) {
    WindowBench bench;
    QLineEdit* field = bench.parts().address;
    for (const char* address : {"192.168.178.123", "255.255.255.255", "100.100.100.100"}) {
        SCOPED_TRACE(address);
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, address);
        for (const bool focused : {true, false}) {
            if (!focused) bench.parts().start->setFocus();
            QApplication::processEvents();
            EXPECT_EQ(field->text(), address);
            EXPECT_LE(QFontMetrics(field->font()).horizontalAdvance(field->text()), textWidth(field))
                << "at " << field->font().pixelSize() << " px in a field " << field->width()
                << " px wide";
            EXPECT_TRUE(field->font().bold());
            EXPECT_EQ(field->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        }
    }
}

TEST(Window, TheFileFieldNamesThePickedFileAndCannotBeTypedInto) {
    WindowBench bench;
    const auto& p = bench.parts();
    bench.h->controller->isRunning.set(true);
    ASSERT_TRUE(bench.waitFor([&] { return p.file->isEnabled(); }));
    const std::filesystem::path picked = "/scores/lune.musicxml";
    bench.window->fileImported(picked);
    p.file->end(false);
    QTest::keyClicks(p.file, "/scores/reunion.musicxml");
    QTest::keyClick(p.file, Qt::Key_Backspace);
    EXPECT_EQ(p.file->text(), "lune.musicxml");
    EXPECT_EQ(bench.h->controller->uploadURL, picked);
    EXPECT_TRUE(p.file->isReadOnly());
    // Still reached by Tab, and its text can be selected and copied.
    EXPECT_TRUE(p.file->focusPolicy() & Qt::TabFocus);
    p.file->selectAll();
    EXPECT_EQ(p.file->selectedText(), "lune.musicxml");
}

TEST(Window, TheLogScrollsInEveryStateAndIsNotGrayed) {
    WindowBench bench;
    auto& c = *bench.h->controller;
    QTextEdit* log = bench.parts().log;
    for (int i = 0; i < 100; ++i)
        c.appendLog("line " + std::to_string(i), i % 2 ? LogColor::red : LogColor::white);
    QApplication::processEvents();
    QScrollBar* scroll = log->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 0);
    struct Case {
        const char* state;
        bool running, uploading;
    } cases[] = {{"stopped", false, false}, {"uploading", true, true}, {"running", true, false}};
    for (const auto& state : cases) {
        SCOPED_TRACE(state.state);
        c.isRunning.set(state.running);
        c.isUploading.set(state.uploading);
        QApplication::processEvents();
        EXPECT_TRUE(log->isEnabled());  // a disabled view is drawn grayed and takes no input
        EXPECT_TRUE(log->textInteractionFlags() & Qt::TextSelectableByMouse);
        scroll->setValue(scroll->maximum());
        // The wheel turned up over the text, as a user reading back does.
        const QPoint at = log->viewport()->rect().center();
        QWheelEvent wheel(at, log->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120 * 3),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(log->viewport(), &wheel);
        EXPECT_LT(scroll->value(), scroll->maximum());
    }
}

TEST(Window, StartWithAHostNameKeepsTheWindowResponsiveAndCannotBePressedTwice) {
    HeldLookup lookup;
    WindowBench bench(lookup.standIn());
    const auto& p = bench.parts();
    p.address->setText("localhost");
    QTest::mouseClick(p.start, Qt::LeftButton);
    // The window handles events while the name is looked up; Start waits for the answer.
    QApplication::processEvents();
    EXPECT_FALSE(p.start->isEnabled());
    EXPECT_FALSE(p.stop->isEnabled());
    QTest::mouseClick(p.start, Qt::LeftButton);
    ASSERT_EQ(lookup.count(), 1u);
    lookup.answer(net::IpAddress::loopbackV4(), "");
    ASSERT_TRUE(bench.waitFor([&] { return p.stop->isEnabled(); }));
    EXPECT_FALSE(p.start->isEnabled());
    EXPECT_EQ(bench.logLines(), QStringList{"Server started"});
}

}  // namespace
}  // namespace companion::testing
