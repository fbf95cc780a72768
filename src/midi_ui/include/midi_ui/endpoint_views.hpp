// Qt widgets that let the user choose one MIDI endpoint of a manager: lists (a scrolling list and
// a line naming the choice) and pickers (a titled drop-down with a "None" choice), of the inputs
// (destinations) or the outputs (sources). Each holds the entry state of endpoint_entries.hpp
// and follows the manager's endpoint lists as the MIDI setup changes.
//
//     auto selection = std::make_shared<std::optional<int32_t>>();
//     auto name = std::make_shared<std::optional<std::string>>();
//     auto* picker = new midiui::MIDIOutputsPicker(manager, "Source",
//         midiui::SelectionBinding::to(selection), midiui::CachedNameBinding::to(name),
//         /*showIcons=*/true, /*filterOwned=*/true);
//
// The manager is a constructor argument: a view made without one throws EndpointViewError at
// once. The widgets live on the GUI thread; the manager's change announcements, which come from
// its event queue, reach them as queued calls after the lists were refreshed.
#pragma once

#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QWidget>

#include <memory>

#include "midi_io/image.hpp"
#include "midi_io/manager.hpp"
#include "midi_ui/endpoint_entries.hpp"

namespace midiui {

// The icon an entry carries; each entry item holds it under entryIconRole.
enum class EntryIcon { none, image, pianoKeys, warning };
// Item data: the entry's unique ID (absent for "None"), and its EntryIcon as an int.
inline constexpr int entryIDRole = Qt::UserRole + 1;
inline constexpr int entryIconRole = Qt::UserRole + 2;

// The edge of the list's icon frame and of the picker's redrawn images.
inline constexpr int listIconSize = 20;
inline constexpr int pickerIconSize = 16;

// The image as a Qt image (RGBA).
QImage toQImage(const midiio::MIDIImage& image);
// The image redrawn at exactly width × height: stretched, its aspect ratio not kept.
QImage redrawnImage(const midiio::MIDIImage& image, int width, int height);
// The icon of an endpoint without image (a few piano keys), and of a missing entry (a warning
// triangle).
QIcon pianoKeysIcon();
QIcon warningIcon();

namespace detail {
class ManagerObserver;
}

// What the list and the picker share: the entry state, its triggers (each redraws) and the
// first showing, which applies the filter.
template <class Endpoint, class Widget>
class EndpointEntriesWidget : public Widget {
  public:
    const EndpointEntries<Endpoint>& entryState() const { return state_; }
    void setEndpoints(std::vector<Endpoint> endpoints);
    void setFilter(midiio::MIDIEndpointFilter filter);
    void setSelection(std::optional<int32_t> selection);
    // Reacts to a selection the embedding code changed in its own value.
    void checkSelection();
    // Rebuilds the items from the entries.
    virtual void redraw() = 0;

  protected:
    EndpointEntriesWidget(EndpointEntries<Endpoint> state, QWidget* parent)
        : Widget(parent), state_(std::move(state)) {}
    void showEvent(QShowEvent* event) override;
    // The user chose the entry with `id` (none: no entry, or "None").
    void choose(std::optional<int32_t> id);

    EndpointEntries<Endpoint> state_;
    bool redrawing_ = false;  // set while items are rebuilt, so that no choice is taken from it

  private:
    bool shown_ = false;
};

// A list of the entries of one endpoint kind. The user's choice of an entry writes the selection.
template <class Endpoint>
class MIDIEndpointsList : public EndpointEntriesWidget<Endpoint, QListWidget> {
  public:
    MIDIEndpointsList(std::shared_ptr<const midiio::MIDIManagedEndpoints> manager,
                      std::vector<Endpoint> endpoints, midiio::MIDIEndpointFilter filter,
                      SelectionBinding selection, CachedNameBinding cachedSelectionName,
                      bool showIcons, QWidget* parent = nullptr);
    void redraw() override;
};

// A titled drop-down of "None" and the entries of one endpoint kind.
template <class Endpoint>
class MIDIEndpointsPicker : public EndpointEntriesWidget<Endpoint, QWidget> {
  public:
    MIDIEndpointsPicker(std::shared_ptr<const midiio::MIDIManagedEndpoints> manager,
                        const QString& title, std::vector<Endpoint> endpoints,
                        midiio::MIDIEndpointFilter filter, SelectionBinding selection,
                        CachedNameBinding cachedSelectionName, bool showIcons,
                        QWidget* parent = nullptr);

    QComboBox* comboBox() const { return combo_; }
    QLabel* titleLabel() const { return title_; }
    void setTitle(const QString& title) { title_->setText(title); }
    void redraw() override;

  private:
    QLabel* title_;
    QComboBox* combo_;
};

// A list of the manager's inputs or outputs with the line "Selected: <cached name>" below it.
template <class Endpoint>
class MIDIEndpointsListView : public QWidget {
  public:
    // Throws EndpointViewError (missingManager) when `manager` is null.
    MIDIEndpointsListView(std::shared_ptr<midiio::MIDIManager> manager,
                          SelectionBinding selection, CachedNameBinding cachedSelectionName,
                          bool showIcons, bool filterOwned, QWidget* parent = nullptr);
    ~MIDIEndpointsListView() override;

    MIDIEndpointsList<Endpoint>* list() const { return list_; }
    QLabel* selectedLabel() const { return selected_; }
    // Writes the selection through the binding and follows it.
    void setSelection(std::optional<int32_t> selection);
    // Hides (or shows again) the manager's own endpoints; applies at once.
    void setFilterOwned(bool filterOwned);
    // Reads the manager's current list and the bound values again; called on every change the
    // manager announces.
    void refresh();

  private:
    void updateSelectedLine();

    std::shared_ptr<midiio::MIDIManager> manager_;
    CachedNameBinding cachedSelectionName_;
    bool filterOwned_;
    MIDIEndpointsList<Endpoint>* list_;
    QLabel* selected_;
    std::unique_ptr<detail::ManagerObserver> observer_;
};

// A picker of the manager's inputs or outputs.
template <class Endpoint>
class MIDIEndpointsPickerView : public QWidget {
  public:
    // Throws EndpointViewError (missingManager) when `manager` is null.
    MIDIEndpointsPickerView(std::shared_ptr<midiio::MIDIManager> manager, const QString& title,
                            SelectionBinding selection, CachedNameBinding cachedSelectionName,
                            bool showIcons, bool filterOwned, QWidget* parent = nullptr);
    ~MIDIEndpointsPickerView() override;

    MIDIEndpointsPicker<Endpoint>* picker() const { return picker_; }
    void setTitle(const QString& title) { picker_->setTitle(title); }
    void setSelection(std::optional<int32_t> selection);
    void setFilterOwned(bool filterOwned);
    void refresh();

  private:
    std::shared_ptr<midiio::MIDIManager> manager_;
    bool filterOwned_;
    MIDIEndpointsPicker<Endpoint>* picker_;
    std::unique_ptr<detail::ManagerObserver> observer_;
};

using MIDIInputsList = MIDIEndpointsListView<midiio::MIDIInputEndpoint>;
using MIDIOutputsList = MIDIEndpointsListView<midiio::MIDIOutputEndpoint>;
using MIDIInputsPicker = MIDIEndpointsPickerView<midiio::MIDIInputEndpoint>;
using MIDIOutputsPicker = MIDIEndpointsPickerView<midiio::MIDIOutputEndpoint>;

extern template class EndpointEntriesWidget<midiio::MIDIInputEndpoint, QListWidget>;
extern template class EndpointEntriesWidget<midiio::MIDIOutputEndpoint, QListWidget>;
extern template class EndpointEntriesWidget<midiio::MIDIInputEndpoint, QWidget>;
extern template class EndpointEntriesWidget<midiio::MIDIOutputEndpoint, QWidget>;
extern template class MIDIEndpointsList<midiio::MIDIInputEndpoint>;
extern template class MIDIEndpointsList<midiio::MIDIOutputEndpoint>;
extern template class MIDIEndpointsPicker<midiio::MIDIInputEndpoint>;
extern template class MIDIEndpointsPicker<midiio::MIDIOutputEndpoint>;
extern template class MIDIEndpointsListView<midiio::MIDIInputEndpoint>;
extern template class MIDIEndpointsListView<midiio::MIDIOutputEndpoint>;
extern template class MIDIEndpointsPickerView<midiio::MIDIInputEndpoint>;
extern template class MIDIEndpointsPickerView<midiio::MIDIOutputEndpoint>;

}  // namespace midiui
