// The companion application's window: a Qt Widgets view over CompanionController. It binds the
// address and file fields to the controller's fields, calls the controller's operations from its
// buttons, and shows the controller's published values (enabling, indicators, MIDI error text)
// and its output log.
//
// Threads: the window lives on the GUI thread, which is the process's main thread. It pumps the
// dispatch main queue there (woken through the main queue's wake handler), so the controller's
// observers run on the GUI thread; a value announced on any other thread is handed to the GUI
// thread through a queued call before it touches a widget.
#pragma once

#include <QWidget>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/controller.hpp"
#include "observe/observe.hpp"

class QFileDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;

namespace companion {

class MainWindow : public QWidget {
  public:
    static constexpr const char* addressPlaceholder = "IP Address of your headset";
    static constexpr const char* filePlaceholder = "Select (.mxl, .musicxml, .xml, .mid)";
    static const char* const helpText;

    explicit MainWindow(std::shared_ptr<CompanionController> controller,
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    CompanionController& controller() { return *controller_; }

    // What the file picker's completion does: the picked file becomes the upload file and the
    // file field shows its name.
    void fileImported(const std::filesystem::path& url);
    // The file picker "Browse..." opens: one existing file of any type.
    std::unique_ptr<QFileDialog> makeFileDialog();

    // The widgets, for tests and tools that look at the window.
    struct Parts {
        QLineEdit* address;
        QPushButton* start;
        QPushButton* stop;
        QLabel* midiError;
        QFrame* onOffLamp;
        QFrame* midiLamp;
        QWidget* uploadColumn;
        QLineEdit* file;
        QPushButton* browse;
        QPushButton* upload;
        QTextEdit* log;
        QLabel* help;
    };
    const Parts& parts() const { return parts_; }

  private:
    void build();
    void bind();
    void updateEnabling();
    void setLamp(QFrame* lamp, bool on, const QColor& onColor, const QColor& offColor);
    void appendRun(const LogLine& line);
    void showMidiError();
    void browse();
    // Runs `work` on the GUI thread: at once when called there, else through a queued call.
    void onGui(std::function<void()> work);

    std::shared_ptr<CompanionController> controller_;
    Parts parts_{};
    std::vector<observe::Subscription> subscriptions_;
    bool selectingFile_ = false;
    bool logFollows_ = true;  // the log shows its end, so new lines scroll it
};

// The color a log line's color name stands for.
QColor toQColor(LogColor color);

}  // namespace companion
