#include "midi_ui/endpoint_views.hpp"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QPalette>
#include <QVBoxLayout>

#include <mutex>

namespace midiui {

namespace mi = midiio;

// ---- Images and icons ----

QImage toQImage(const mi::MIDIImage& image) {
    if (image.width == 0 || image.height == 0 ||
        image.rgba.size() != size_t{image.width} * image.height * 4)
        return {};
    QImage result(static_cast<int>(image.width), static_cast<int>(image.height),
                  QImage::Format_RGBA8888);
    for (uint32_t y = 0; y < image.height; ++y)
        std::copy_n(image.rgba.data() + size_t{y} * image.width * 4, size_t{image.width} * 4,
                    result.scanLine(static_cast<int>(y)));
    return result;
}

QImage redrawnImage(const mi::MIDIImage& image, int width, int height) {
    const QImage source = toQImage(image);
    if (source.isNull() || width <= 0 || height <= 0) return {};
    QImage target(width, height, QImage::Format_RGBA8888);
    target.fill(Qt::transparent);
    QPainter painter(&target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QRect(0, 0, width, height), source, source.rect());
    painter.end();
    return target;
}

namespace {

constexpr int drawnIconEdge = 32;

QImage drawIcon(const std::function<void(QPainter&)>& draw) {
    QImage image(drawnIconEdge, drawnIconEdge, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    return image;
}

}  // namespace

QIcon pianoKeysIcon() {
    static const QImage image = drawIcon([](QPainter& p) {
        // Four white keys with three black keys between them.
        p.setPen(QPen(Qt::black, 1.5));
        p.setBrush(Qt::white);
        for (int i = 0; i < 4; ++i)
            p.drawRect(QRectF(2 + i * 7, 4, 7, 24));
        p.setBrush(Qt::black);
        for (int i = 0; i < 3; ++i)
            p.drawRect(QRectF(7 + i * 7, 4, 4, 14));
    });
    return QIcon(QPixmap::fromImage(image));
}

QIcon warningIcon() {
    static const QImage image = drawIcon([](QPainter& p) {
        const QPointF triangle[] = {{16, 2}, {30, 29}, {2, 29}};
        p.setPen(QPen(QColor(0x80, 0x60, 0x00), 1.5));
        p.setBrush(QColor(0xF5, 0xB8, 0x00));
        p.drawPolygon(triangle, 3);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawRoundedRect(QRectF(14.5, 10, 3, 11), 1.5, 1.5);
        p.drawEllipse(QRectF(14.5, 23, 3, 3));
    });
    return QIcon(QPixmap::fromImage(image));
}

namespace {

// What one entry looks like in a list or a picker.
struct ItemLook {
    QString text;
    EntryIcon icon = EntryIcon::none;
    QIcon iconImage;
    bool missing = false;
};

// `stretched`: the picker redraws endpoint images at the icon size; the list keeps their aspect
// ratio within the frame.
template <class Endpoint>
ItemLook lookOf(const EndpointEntry<Endpoint>& entry, bool showIcons, int edge, bool stretched) {
    ItemLook look{QString::fromStdString(entry.label), EntryIcon::none, {}, entry.missing()};
    if (!showIcons) return look;
    if (entry.missing()) {
        look.icon = EntryIcon::warning;
        look.iconImage = warningIcon();
        return look;
    }
    if (const auto image = entry.endpoint->image()) {
        const QImage drawn = stretched
                                 ? redrawnImage(*image, edge, edge)
                                 : toQImage(*image).scaled(edge, edge, Qt::KeepAspectRatio,
                                                           Qt::SmoothTransformation);
        if (!drawn.isNull()) {
            look.icon = EntryIcon::image;
            look.iconImage = QIcon(QPixmap::fromImage(drawn));
            return look;
        }
    }
    look.icon = EntryIcon::pianoKeys;
    look.iconImage = pianoKeysIcon();
    return look;
}

// Fills the roles of an item (a list item, or a row of the picker's model).
template <class SetData>
void applyLook(const ItemLook& look, int32_t id, const QPalette& palette, SetData setData) {
    setData(Qt::DisplayRole, look.text);
    setData(entryIDRole, QVariant(static_cast<int>(id)));
    setData(entryIconRole, QVariant(static_cast<int>(look.icon)));
    if (look.icon != EntryIcon::none) setData(Qt::DecorationRole, look.iconImage);
    // A missing entry is drawn in the secondary text colour.
    if (look.missing) setData(Qt::ForegroundRole, palette.color(QPalette::PlaceholderText));
}

std::optional<int32_t> idOf(const QVariant& data) {
    if (!data.isValid()) return std::nullopt;
    return static_cast<int32_t>(data.toInt());
}

}  // namespace

namespace detail {

// Delivers the manager's change announcements to a widget on the GUI thread, once the lists
// they announce have been refreshed.
class ManagerObserver {
  public:
    ManagerObserver(const std::shared_ptr<mi::MIDIManager>& manager, QObject* context,
                    std::function<void()> onChange)
        : relay_(std::make_shared<Relay>()) {
        relay_->context = context;
        relay_->onChange = std::move(onChange);
        subscription_ = manager->objectWillChange().connect(
            [relay = relay_, queue = std::weak_ptr<dispatch::Queue>(manager->eventQueue())] {
                // The lists are refreshed right after the announcement. On the event queue, a
                // task queued now runs after that refresh; elsewhere the queued Qt call runs
                // once the announcing call has returned to the GUI loop.
                if (const auto q = queue.lock(); q && q->isCurrent())
                    q->async([relay] { relay->post(); });
                else
                    relay->post();
            });
        // An announcement made just before the subscription may still have its refresh running:
        // one more delivery once the queue has finished it.
        manager->eventQueue()->async([relay = relay_] { relay->post(); });
    }
    ~ManagerObserver() {
        subscription_.cancel();
        std::lock_guard lock(relay_->mutex);
        relay_->context = nullptr;
    }
    ManagerObserver(const ManagerObserver&) = delete;
    ManagerObserver& operator=(const ManagerObserver&) = delete;

  private:
    struct Relay : std::enable_shared_from_this<Relay> {
        std::mutex mutex;  // guards `context` against the widget's end
        QObject* context = nullptr;
        std::function<void()> onChange;  // called on the GUI thread only

        void post() {
            // Posting an event calls nothing of ours; the lock keeps the widget alive meanwhile.
            std::lock_guard lock(mutex);
            if (!context) return;
            QMetaObject::invokeMethod(
                context, [self = shared_from_this()] { self->onChange(); }, Qt::QueuedConnection);
        }
    };
    std::shared_ptr<Relay> relay_;
    observe::Subscription subscription_;
};

}  // namespace detail

namespace {

template <class Endpoint>
std::vector<Endpoint> managerEndpoints(const mi::MIDIManager& manager) {
    if constexpr (std::is_same_v<Endpoint, mi::MIDIInputEndpoint>)
        return manager.endpoints().inputs();
    else
        return manager.endpoints().outputs();
}

mi::MIDIEndpointFilter filterFor(bool filterOwned) {
    return filterOwned ? mi::MIDIEndpointFilter::ownedFilter()
                       : mi::MIDIEndpointFilter::defaultFilter();
}

const std::shared_ptr<mi::MIDIManager>& requireManager(
    const std::shared_ptr<mi::MIDIManager>& manager) {
    if (!manager)
        throw EndpointViewError(EndpointViewError::Case::missingManager,
                                "An endpoint view needs a MIDI manager to list endpoints from.");
    return manager;
}

}  // namespace

// ---- What the list and the picker share ----

template <class Endpoint, class Widget>
void EndpointEntriesWidget<Endpoint, Widget>::showEvent(QShowEvent* event) {
    Widget::showEvent(event);
    if (shown_) return;
    shown_ = true;
    state_.appear();
    redraw();
}

template <class Endpoint, class Widget>
void EndpointEntriesWidget<Endpoint, Widget>::setEndpoints(std::vector<Endpoint> endpoints) {
    state_.setEndpoints(std::move(endpoints));
    redraw();
}

template <class Endpoint, class Widget>
void EndpointEntriesWidget<Endpoint, Widget>::setFilter(mi::MIDIEndpointFilter filter) {
    state_.setFilter(std::move(filter));
    redraw();
}

template <class Endpoint, class Widget>
void EndpointEntriesWidget<Endpoint, Widget>::setSelection(std::optional<int32_t> selection) {
    state_.setSelection(selection);
    redraw();
}

template <class Endpoint, class Widget>
void EndpointEntriesWidget<Endpoint, Widget>::checkSelection() {
    state_.checkSelection();
    redraw();
}

template <class Endpoint, class Widget>
void EndpointEntriesWidget<Endpoint, Widget>::choose(std::optional<int32_t> id) {
    if (redrawing_) return;
    state_.setSelection(id);
    // The items are rebuilt once the control has finished handling the user's action, not from
    // inside its own selection signal.
    QMetaObject::invokeMethod(
        this, [this] { redraw(); }, Qt::QueuedConnection);
}

// ---- The list ----

template <class Endpoint>
MIDIEndpointsList<Endpoint>::MIDIEndpointsList(
    std::shared_ptr<const mi::MIDIManagedEndpoints> manager, std::vector<Endpoint> endpoints,
    mi::MIDIEndpointFilter filter, SelectionBinding selection,
    CachedNameBinding cachedSelectionName, bool showIcons, QWidget* parent)
    : EndpointEntriesWidget<Endpoint, QListWidget>(
          EndpointEntries<Endpoint>(std::move(manager), std::move(endpoints), std::move(filter),
                                    std::move(selection), std::move(cachedSelectionName),
                                    showIcons),
          parent) {
    this->setSelectionMode(QAbstractItemView::SingleSelection);
    this->setIconSize(QSize(listIconSize, listIconSize));
    QObject::connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        const auto chosen = this->selectedItems();
        this->choose(chosen.isEmpty() ? std::nullopt : idOf(chosen.front()->data(entryIDRole)));
    });
    redraw();
}

template <class Endpoint>
void MIDIEndpointsList<Endpoint>::redraw() {
    this->redrawing_ = true;
    this->clear();
    const auto selected = this->state_.selection();
    for (const auto& entry : this->state_.entries()) {
        auto* item = new QListWidgetItem(this);
        applyLook(lookOf(entry, this->state_.showIcons(), listIconSize, false), entry.id,
                  this->palette(),
                  [item](int role, const QVariant& value) { item->setData(role, value); });
        if (selected == entry.id) {
            item->setSelected(true);
            this->setCurrentItem(item);
        }
    }
    this->redrawing_ = false;
}

// ---- The picker ----

template <class Endpoint>
MIDIEndpointsPicker<Endpoint>::MIDIEndpointsPicker(
    std::shared_ptr<const mi::MIDIManagedEndpoints> manager, const QString& title,
    std::vector<Endpoint> endpoints, mi::MIDIEndpointFilter filter, SelectionBinding selection,
    CachedNameBinding cachedSelectionName, bool showIcons, QWidget* parent)
    : EndpointEntriesWidget<Endpoint, QWidget>(
          EndpointEntries<Endpoint>(std::move(manager), std::move(endpoints), std::move(filter),
                                    std::move(selection), std::move(cachedSelectionName),
                                    showIcons),
          parent),
      title_(new QLabel(title, this)), combo_(new QComboBox(this)) {
    title_->setTextFormat(Qt::PlainText);
    title_->setBuddy(combo_);
    combo_->setIconSize(QSize(pickerIconSize, pickerIconSize));
    combo_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(title_);
    layout->addWidget(combo_, 1);
    QObject::connect(combo_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) this->choose(idOf(combo_->itemData(index, entryIDRole)));
    });
    redraw();
}

template <class Endpoint>
void MIDIEndpointsPicker<Endpoint>::redraw() {
    this->redrawing_ = true;
    combo_->clear();
    // "None" stands for no selection and carries no ID.
    combo_->addItem(QCoreApplication::translate("MIDIEndpointsPicker", "None"));
    int current = 0;
    const auto selected = this->state_.selection();
    for (const auto& entry : this->state_.entries()) {
        const int row = combo_->count();
        combo_->addItem(QString());
        applyLook(lookOf(entry, this->state_.showIcons(), pickerIconSize, true), entry.id,
                  this->palette(), [this, row](int role, const QVariant& value) {
                      combo_->setItemData(row, value, role);
                  });
        if (selected == entry.id) current = row;
    }
    combo_->setCurrentIndex(current);
    this->redrawing_ = false;
}

// ---- The wrappers over a manager ----

template <class Endpoint>
MIDIEndpointsListView<Endpoint>::MIDIEndpointsListView(
    std::shared_ptr<mi::MIDIManager> manager, SelectionBinding selection,
    CachedNameBinding cachedSelectionName, bool showIcons, bool filterOwned, QWidget* parent)
    : QWidget(parent), manager_(requireManager(manager)),
      cachedSelectionName_(cachedSelectionName), filterOwned_(filterOwned),
      list_(new MIDIEndpointsList<Endpoint>(manager_, managerEndpoints<Endpoint>(*manager_),
                                            filterFor(filterOwned), std::move(selection),
                                            std::move(cachedSelectionName), showIcons, this)),
      selected_(new QLabel(this)) {
    selected_->setTextFormat(Qt::PlainText);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addWidget(selected_);
    // The line follows the cached name, which a choice in the list may change.
    QObject::connect(list_, &QListWidget::itemSelectionChanged, this,
                     [this] { updateSelectedLine(); });
    observer_ = std::make_unique<detail::ManagerObserver>(manager_, this, [this] { refresh(); });
    updateSelectedLine();
}

template <class Endpoint>
MIDIEndpointsListView<Endpoint>::~MIDIEndpointsListView() = default;

template <class Endpoint>
void MIDIEndpointsListView<Endpoint>::setSelection(std::optional<int32_t> selection) {
    list_->setSelection(selection);
    updateSelectedLine();
}

template <class Endpoint>
void MIDIEndpointsListView<Endpoint>::setFilterOwned(bool filterOwned) {
    filterOwned_ = filterOwned;
    refresh();
}

template <class Endpoint>
void MIDIEndpointsListView<Endpoint>::refresh() {
    list_->setEndpoints(managerEndpoints<Endpoint>(*manager_));
    list_->setFilter(filterFor(filterOwned_));
    list_->checkSelection();
    updateSelectedLine();
}

template <class Endpoint>
void MIDIEndpointsListView<Endpoint>::updateSelectedLine() {
    const auto name = cachedSelectionName_.get();
    selected_->setText(QCoreApplication::translate("MIDIEndpointsList", "Selected: %1")
                           .arg(name ? QString::fromStdString(*name) : QStringLiteral("None")));
}

template <class Endpoint>
MIDIEndpointsPickerView<Endpoint>::MIDIEndpointsPickerView(
    std::shared_ptr<mi::MIDIManager> manager, const QString& title, SelectionBinding selection,
    CachedNameBinding cachedSelectionName, bool showIcons, bool filterOwned, QWidget* parent)
    : QWidget(parent), manager_(requireManager(manager)), filterOwned_(filterOwned),
      picker_(new MIDIEndpointsPicker<Endpoint>(
          manager_, title, managerEndpoints<Endpoint>(*manager_), filterFor(filterOwned),
          std::move(selection), std::move(cachedSelectionName), showIcons, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(picker_);
    observer_ = std::make_unique<detail::ManagerObserver>(manager_, this, [this] { refresh(); });
}

template <class Endpoint>
MIDIEndpointsPickerView<Endpoint>::~MIDIEndpointsPickerView() = default;

template <class Endpoint>
void MIDIEndpointsPickerView<Endpoint>::setSelection(std::optional<int32_t> selection) {
    picker_->setSelection(selection);
}

template <class Endpoint>
void MIDIEndpointsPickerView<Endpoint>::setFilterOwned(bool filterOwned) {
    filterOwned_ = filterOwned;
    refresh();
}

template <class Endpoint>
void MIDIEndpointsPickerView<Endpoint>::refresh() {
    picker_->setEndpoints(managerEndpoints<Endpoint>(*manager_));
    picker_->setFilter(filterFor(filterOwned_));
    picker_->checkSelection();
}

template class EndpointEntriesWidget<mi::MIDIInputEndpoint, QListWidget>;
template class EndpointEntriesWidget<mi::MIDIOutputEndpoint, QListWidget>;
template class EndpointEntriesWidget<mi::MIDIInputEndpoint, QWidget>;
template class EndpointEntriesWidget<mi::MIDIOutputEndpoint, QWidget>;
template class MIDIEndpointsList<mi::MIDIInputEndpoint>;
template class MIDIEndpointsList<mi::MIDIOutputEndpoint>;
template class MIDIEndpointsPicker<mi::MIDIInputEndpoint>;
template class MIDIEndpointsPicker<mi::MIDIOutputEndpoint>;
template class MIDIEndpointsListView<mi::MIDIInputEndpoint>;
template class MIDIEndpointsListView<mi::MIDIOutputEndpoint>;
template class MIDIEndpointsPickerView<mi::MIDIInputEndpoint>;
template class MIDIEndpointsPickerView<mi::MIDIOutputEndpoint>;

}  // namespace midiui
