#include "app/main_window.hpp"

#include <QAbstractButton>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextCursor>
#include <QTextEdit>
#include <QThread>
#include <QVBoxLayout>

#include "dispatch/queue.hpp"

namespace companion {

const char* const MainWindow::helpText =
    "1. Enter the IP address of your headset (you can find it in the playback options inside "
    "Tessaloom).\n\n2. Press Start (if you need MIDI connection, make sure your MIDI device is "
    "connected before).\n\n3. If your MIDI connection works, the MIDI button should light up when "
    "you play a note (this is not required for custom uploads).\n\n4. Choose a music score file "
    "from your disk. Press Upload Piece.\n\n5. As soon as the output log says Upload Complete, the "
    "piece should be visible in your Tessaloom app.";

namespace {

const QColor lampGreen = QColor(Qt::green);
const QColor lampRed = QColor(Qt::red);
const QColor lampGray = QColor(Qt::gray);

QFrame* makeLamp(const QString& name) {
    auto* lamp = new QFrame;
    lamp->setFixedSize(36, 36);
    lamp->setAutoFillBackground(true);
    lamp->setAccessibleName(name);
    return lamp;
}

QWidget* indicator(QFrame* lamp, const QString& caption) {
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(lamp, 0, Qt::AlignHCenter);
    auto* label = new QLabel(caption);
    label->setStyleSheet("color: gray");
    label->setAlignment(Qt::AlignHCenter);
    column->addWidget(label, 0, Qt::AlignHCenter);
    return box;
}

QFont sized(QFont font, int pixels, QFont::Weight weight = QFont::Normal) {
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

// The address field: bold and centred, at 20 pixels where the font shows every IPv4 address
// whole in the field, and otherwise at the largest size that does, so that the user can check
// what they typed (the column is narrow and fonts differ in width).
class AddressField : public QLineEdit {
  public:
    static constexpr int largestPixelSize = 20;
    static constexpr int smallestPixelSize = 10;

    explicit AddressField(const QString& text) : QLineEdit(text) {
        setFont(sized(font(), largestPixelSize, QFont::Bold));
        setAlignment(Qt::AlignCenter);
    }

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QLineEdit::resizeEvent(event);
        fitFont();
    }

  private:
    // Beside its frame and text margins, a line edit keeps 2 pixels clear on each side of the text.
    static constexpr int innerMargin = 2;

    int textWidth() const {
        QStyleOptionFrame option;
        initStyleOption(&option);
        const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
        const QMargins margins = textMargins();
        return contents.width() - margins.left() - margins.right() - 2 * innerMargin;
    }

    // The widest address: fifteen characters, the twelve digits all the font's widest one.
    static int widestAddressWidth(const QFontMetrics& metrics) {
        QChar widest = '0';
        for (char digit = '1'; digit <= '9'; ++digit)
            if (metrics.horizontalAdvance(QChar(digit)) > metrics.horizontalAdvance(widest))
                widest = QChar(digit);
        const QString group(3, widest);
        return metrics.horizontalAdvance(group + '.' + group + '.' + group + '.' + group);
    }

    void fitFont() {
        const int available = textWidth();
        QFont fitted = font();
        for (int pixels = largestPixelSize; pixels >= smallestPixelSize; --pixels) {
            fitted.setPixelSize(pixels);
            if (widestAddressWidth(QFontMetrics(fitted)) <= available) break;
        }
        if (fitted != font()) setFont(fitted);
    }
};

}  // namespace

QColor toQColor(LogColor color) {
    switch (color) {
        case LogColor::white:
            return Qt::white;
        case LogColor::gray:
            return Qt::gray;
        case LogColor::yellow:
            return Qt::yellow;
        case LogColor::red:
            return Qt::red;
        case LogColor::green:
            return Qt::green;
    }
    return Qt::white;
}

MainWindow::MainWindow(std::shared_ptr<CompanionController> controller, QWidget* parent)
    : QWidget(parent), controller_(std::move(controller)) {
    build();
    bind();
    // Work queued for the main thread runs on the GUI thread's event loop: each wake posts one
    // drain there (dropped should the window go first), and one drain takes what came before.
    auto pump = [this] {
        QMetaObject::invokeMethod(
            this, [] { dispatch::Queue::main()->drain(); }, Qt::QueuedConnection);
    };
    dispatch::Queue::main()->setWakeHandler(pump);
    pump();
}

MainWindow::~MainWindow() {
    dispatch::Queue::main()->setWakeHandler({});
    subscriptions_.clear();
}

void MainWindow::build() {
    setWindowTitle("Tessaloom MIDI Server");
    setAccessibleName("Tessaloom MIDI Server");
    auto* outer = new QVBoxLayout(this);
    outer->setAlignment(Qt::AlignHCenter);

    // Header: a gray band with the banner centred on it.
    auto* header = new QFrame;
    header->setAutoFillBackground(true);
    header->setStyleSheet("QFrame { background: gray; }");
    header->setMaximumHeight(60);
    header->setMinimumWidth(0);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(4, 4, 4, 4);
    auto* banner = new QLabel("TESSALOOM");
    banner->setFixedSize(224, 54);
    banner->setAlignment(Qt::AlignCenter);
    banner->setFont(sized(banner->font(), 28, QFont::Bold));
    banner->setStyleSheet("color: white; background: transparent;");
    banner->setAccessibleName("Tessaloom");
    headerRow->addWidget(banner, 0, Qt::AlignCenter);
    outer->addWidget(header);

    auto* row = new QWidget;
    row->setFixedHeight(350);
    auto* columns = new QHBoxLayout(row);
    outer->addWidget(row, 0, Qt::AlignHCenter);

    // Left column: address, Start, Stop, MIDI error, indicators.
    auto* left = new QWidget;
    left->setFixedWidth(200);
    auto* leftColumn = new QVBoxLayout(left);
    leftColumn->setAlignment(Qt::AlignVCenter);
    auto* addressLabel = new QLabel(addressPlaceholder);
    addressLabel->setAlignment(Qt::AlignHCenter);
    leftColumn->addWidget(addressLabel);
    parts_.address = new AddressField(QString::fromStdString(controller_->ipAddress));
    parts_.address->setPlaceholderText(addressPlaceholder);
    parts_.address->setAccessibleName("Headset IP address");
    addressLabel->setBuddy(parts_.address);
    leftColumn->addWidget(parts_.address);
    parts_.start = new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay), "Start");
    parts_.start->setAccessibleName("Start");
    leftColumn->addWidget(parts_.start);
    parts_.stop = new QPushButton(style()->standardIcon(QStyle::SP_MediaStop), "Stop");
    parts_.stop->setAccessibleName("Stop");
    leftColumn->addWidget(parts_.stop);
    parts_.midiError = new QLabel;
    parts_.midiError->setStyleSheet("color: red");
    parts_.midiError->setAlignment(Qt::AlignHCenter);
    parts_.midiError->setWordWrap(true);
    parts_.midiError->setAccessibleDescription("MIDI error");
    leftColumn->addWidget(parts_.midiError);
    parts_.onOffLamp = makeLamp("On/Off indicator");
    parts_.midiLamp = makeLamp("MIDI indicator");
    auto* lamps = new QHBoxLayout;
    lamps->addWidget(indicator(parts_.onOffLamp, "On/Off"));
    lamps->addWidget(indicator(parts_.midiLamp, "MIDI"));
    leftColumn->addLayout(lamps);
    columns->addWidget(left);

    // Middle column: the upload controls, which are usable only while running and not uploading,
    // and below them the output log, which can be scrolled and read in every state (the line that
    // says why an upload failed is needed most once it is over, or after Stop).
    auto* middleColumn = new QWidget;
    middleColumn->setFixedWidth(350);
    auto* middleLayout = new QVBoxLayout(middleColumn);
    parts_.uploadColumn = new QWidget;
    parts_.uploadColumn->setAccessibleName("Upload");
    auto* middle = new QVBoxLayout(parts_.uploadColumn);
    middle->setContentsMargins(0, 0, 0, 0);
    auto* uploadTitle = new QLabel("Upload a Music Piece (MusicXML or MIDI)");
    uploadTitle->setAlignment(Qt::AlignHCenter);
    middle->addWidget(uploadTitle);
    auto* fileRow = new QHBoxLayout;
    // The field names the file Browse... picked, which is the one Upload Piece sends: it is read
    // only, so that it never names another one. It still takes focus and its text can be
    // selected and read out.
    parts_.file = new QLineEdit;
    parts_.file->setReadOnly(true);
    parts_.file->setPlaceholderText(filePlaceholder);
    parts_.file->setAccessibleName("Score file");
    parts_.file->setAccessibleDescription("The file Upload Piece sends; Browse... picks it");
    fileRow->addWidget(parts_.file);
    parts_.browse = new QPushButton("Browse...");
    parts_.browse->setAccessibleName("Browse...");
    fileRow->addWidget(parts_.browse);
    middle->addLayout(fileRow);
    parts_.upload =
        new QPushButton(style()->standardIcon(QStyle::SP_ArrowUp), "Upload Piece");
    parts_.upload->setAccessibleName("Upload Piece");
    middle->addWidget(parts_.upload, 0, Qt::AlignHCenter);
    middleLayout->addWidget(parts_.uploadColumn);
    parts_.log = new QTextEdit;
    parts_.log->setReadOnly(true);
    parts_.log->setTabChangesFocus(true);
    parts_.log->setMinimumHeight(200);
    parts_.log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    parts_.log->setStyleSheet("QTextEdit { background: black; color: white; }");
    QFont mono = sized(QFont("monospace"), 12, QFont::Light);
    mono.setStyleHint(QFont::Monospace);
    parts_.log->setFont(mono);
    parts_.log->document()->setDocumentMargin(8);
    parts_.log->setAccessibleName("Output log");
    parts_.log->setAccessibleDescription(
        "What the server did: one line per event, newest last; red lines are failures, green "
        "means the upload is complete.");
    middleLayout->addWidget(parts_.log);
    columns->addWidget(middleColumn);

    // Right column: the help text.
    parts_.help = new QLabel(helpText);
    parts_.help->setWordWrap(true);
    parts_.help->setFixedWidth(150);
    parts_.help->setFont(sized(parts_.help->font(), 11));
    // A screen reader reads a label's accessible name in place of its text: the name is the text.
    parts_.help->setAccessibleName(helpText);
    parts_.help->setAccessibleDescription("Help");
    columns->addWidget(parts_.help);

    // Return and Enter press the focused button, as Space does.
    for (QPushButton* button : {parts_.start, parts_.stop, parts_.browse, parts_.upload})
        button->setAutoDefault(true);

    setTabOrder(parts_.address, parts_.start);
    setTabOrder(parts_.start, parts_.stop);
    setTabOrder(parts_.stop, parts_.file);
    setTabOrder(parts_.file, parts_.browse);
    setTabOrder(parts_.browse, parts_.upload);
    setTabOrder(parts_.upload, parts_.log);
}

void MainWindow::bind() {
    QObject::connect(parts_.address, &QLineEdit::textChanged, this,
                     [this](const QString& text) { controller_->ipAddress = text.toStdString(); });
    QObject::connect(parts_.start, &QAbstractButton::clicked, this, [this] { controller_->start(); });
    QObject::connect(parts_.stop, &QAbstractButton::clicked, this, [this] { controller_->stop(); });
    QObject::connect(parts_.browse, &QAbstractButton::clicked, this, [this] { browse(); });
    QObject::connect(parts_.upload, &QAbstractButton::clicked, this,
                     [this] { controller_->uploadPiece(); });

    // The log follows its newest line, unless the user has scrolled up to read older ones: the
    // scroll range grows once the new text is laid out, and then the view moves along when it was
    // showing the end.
    QScrollBar* scroll = parts_.log->verticalScrollBar();
    QObject::connect(scroll, &QScrollBar::valueChanged, this,
                     [this, scroll](int value) { logFollows_ = value >= scroll->maximum(); });
    QObject::connect(scroll, &QScrollBar::rangeChanged, this, [this, scroll](int, int maximum) {
        if (logFollows_) scroll->setValue(maximum);
    });

    auto& c = *controller_;
    subscriptions_.push_back(c.isRunning.subscribe([this](bool) { onGui([this] { updateEnabling(); }); }));
    subscriptions_.push_back(c.isStarting.subscribe([this](bool) { onGui([this] { updateEnabling(); }); }));
    subscriptions_.push_back(c.isUploading.subscribe([this](bool) { onGui([this] { updateEnabling(); }); }));
    subscriptions_.push_back(c.isMidiEventActive.subscribe([this](bool) {
        onGui([this] {
            setLamp(parts_.midiLamp, controller_->isMidiEventActive.get(), lampGreen, lampGray);
        });
    }));
    subscriptions_.push_back(c.midiErrorText.subscribe([this](const std::string&) {
        onGui([this] { showMidiError(); });
    }));
    subscriptions_.push_back(
        c.logAppended.connect([this](const LogLine& line) { onGui([this, line] { appendRun(line); }); }));

    for (const auto& line : c.outputText())
        appendRun(line);
    showMidiError();
    setLamp(parts_.midiLamp, c.isMidiEventActive.get(), lampGreen, lampGray);
    updateEnabling();
}

void MainWindow::onGui(std::function<void()> work) {
    if (QThread::currentThread() == thread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void MainWindow::updateEnabling() {
    const bool running = controller_->isRunning.get();
    const bool uploading = controller_->isUploading.get();
    parts_.start->setEnabled(!running && !controller_->isStarting.get());
    parts_.stop->setEnabled(running);
    parts_.uploadColumn->setEnabled(running && !uploading);
    setLamp(parts_.onOffLamp, running, lampGreen, lampRed);
}

void MainWindow::setLamp(QFrame* lamp, bool on, const QColor& onColor, const QColor& offColor) {
    QPalette palette = lamp->palette();
    palette.setColor(QPalette::Window, on ? onColor : offColor);
    lamp->setPalette(palette);
    lamp->setAccessibleDescription(on ? "On" : "Off");
}

void MainWindow::showMidiError() {
    const QString text = QString::fromStdString(controller_->midiErrorText.get());
    parts_.midiError->setText(text);
    // Read out by a screen reader in place of the label's text, so it is the text.
    parts_.midiError->setAccessibleName(text.isEmpty() ? QString("No MIDI error") : text);
}

void MainWindow::appendRun(const LogLine& line) {
    // A run in the line's colour, then a line feed without one.
    QTextCursor cursor(parts_.log->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat colored;
    colored.setForeground(toQColor(line.color));
    cursor.insertText(QString::fromStdString(line.text), colored);
    cursor.insertText("\n", QTextCharFormat());
}

std::unique_ptr<QFileDialog> MainWindow::makeFileDialog() {
    auto dialog = std::make_unique<QFileDialog>(this, "Select a music piece");
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilter("All files (*)");
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    return dialog;
}

void MainWindow::browse() {
    if (selectingFile_) return;
    selectingFile_ = true;
    auto dialog = makeFileDialog();
    const bool picked = dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
    selectingFile_ = false;
    if (picked)
        fileImported(std::filesystem::path(dialog->selectedFiles().first().toStdString()));
}

void MainWindow::fileImported(const std::filesystem::path& url) {
    controller_->fileImported(url);
    parts_.file->setText(QString::fromStdString(controller_->uploadPath));
}

}  // namespace companion
