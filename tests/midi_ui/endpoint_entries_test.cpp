// The entry state of the endpoint views: entry IDs, the missing entry of a vanished choice, the
// cached name and the triggers.
#include <gtest/gtest.h>

#include "midi_io/input.hpp"
#include "midi_io/manager.hpp"
#include "midi_ui/endpoint_entries.hpp"
#include "midiservices/properties.hpp"
#include "midiservices/test_driver.hpp"
#include "wait_for.hpp"

namespace midiui {
namespace {

namespace ms = midiservices;
using midiio::MIDIEndpointFilter;
using midiio::MIDIInputEndpoint;
using Ids = std::vector<int32_t>;

// A manager that owns nothing: enough for every filter but the owned one.
struct NoManagedEndpoints : midiio::MIDIManagedEndpoints {
    std::vector<int32_t> managedInputUniqueIDs() const override { return {}; }
    std::vector<int32_t> managedOutputUniqueIDs() const override { return {}; }
    std::vector<uint32_t> managedInputEndpointRefs() const override { return {}; }
    std::vector<uint32_t> managedOutputEndpointRefs() const override { return {}; }
};

// The embedding code's two values.
struct Embedding {
    std::shared_ptr<std::optional<int32_t>> selection =
        std::make_shared<std::optional<int32_t>>();
    std::shared_ptr<std::optional<std::string>> cachedName =
        std::make_shared<std::optional<std::string>>();

    EndpointEntries<MIDIInputEndpoint> entries(
        std::vector<MIDIInputEndpoint> endpoints, bool showIcons = true,
        std::shared_ptr<const midiio::MIDIManagedEndpoints> manager =
            std::make_shared<NoManagedEndpoints>(),
        MIDIEndpointFilter filter = MIDIEndpointFilter::defaultFilter()) {
        return EndpointEntries<MIDIInputEndpoint>(std::move(manager), std::move(endpoints),
                                                  std::move(filter), SelectionBinding::to(selection),
                                                  CachedNameBinding::to(cachedName), showIcons);
    }
};

MIDIInputEndpoint endpoint(int32_t id, std::string displayName = "") {
    if (displayName.empty()) displayName = "Port " + std::to_string(id);
    return MIDIInputEndpoint(displayName, id, 0, displayName);
}

TEST(EndpointEntries, EntryIDsAndMissingEntryLabels) {
    struct Case {
        std::optional<int32_t> selection;
        std::vector<int32_t> endpointIDs;
        Ids ids;
    } const cases[] = {
        {std::nullopt, {1, 2}, {1, 2}},
        {7, {1, 2}, {7, 1, 2}},
        {5, {}, {5}},
        {std::nullopt, {}, {}},
        {2, {1, 2}, {1, 2}},  // a listed selection keeps its place
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.selection.value_or(-1));
        std::vector<MIDIInputEndpoint> endpoints;
        for (const int32_t id : c.endpointIDs) endpoints.push_back(endpoint(id));
        Embedding embedding;
        *embedding.selection = c.selection;
        auto entries = embedding.entries(endpoints);
        EXPECT_EQ(entries.ids(), c.ids);  // as made
        entries.appear();
        EXPECT_EQ(entries.ids(), c.ids);  // as shown
        for (const auto& entry : entries.entries()) {
            const bool listed = std::count(c.endpointIDs.begin(), c.endpointIDs.end(), entry.id);
            EXPECT_EQ(entry.missing(), !listed) << entry.id;
            if (listed) {
                EXPECT_EQ(entry.label, "Port " + std::to_string(entry.id));
            }
        }
    }

    // The missing entry's text, with and without icons and cached name.
    struct Label {
        std::optional<std::string> cachedName;
        bool showIcons;
        std::string text;
    } const labels[] = {
        {"Synth", true, "Synth"},
        {std::nullopt, true, "Missing"},
        {"Synth", false, "Synth (Missing)"},
        {std::nullopt, false, " (Missing)"},
    };
    for (const auto& l : labels) {
        Embedding embedding;
        *embedding.selection = 7;
        *embedding.cachedName = l.cachedName;
        const auto entries = embedding.entries({endpoint(1), endpoint(2)}, l.showIcons);
        EXPECT_EQ(entries.entries().front().label, l.text);
        EXPECT_EQ(missingEntryLabel(l.cachedName, l.showIcons), l.text);
    }
}

TEST(EndpointEntries, ViewWithoutManagerIsRefusedWhenMade) {
    Embedding embedding;
    try {
        embedding.entries({endpoint(1)}, true, nullptr);
        FAIL() << "no error";
    } catch (const EndpointViewError& e) {
        EXPECT_EQ(e.errorCase(), EndpointViewError::Case::missingManager);
    }
}

TEST(EndpointEntries, ListChangesRebuildByUniqueIDOnlyAndLeaveTheCachedName) {
    Embedding embedding;
    *embedding.selection = 2;
    *embedding.cachedName = "Kept";
    auto entries = embedding.entries({endpoint(1), endpoint(2)});
    entries.appear();
    // Renamed only: the same IDs, the new names drawn.
    entries.setEndpoints({endpoint(1, "One"), endpoint(2, "Two")});
    EXPECT_EQ(entries.ids(), (Ids{1, 2}));
    EXPECT_EQ(entries.entries()[1].label, "Two");
    // The chosen endpoint leaves: it moves to the top as a missing entry under its cached name.
    entries.setEndpoints({endpoint(1, "One")});
    EXPECT_EQ(entries.ids(), (Ids{2, 1}));
    EXPECT_TRUE(entries.entries()[0].missing());
    EXPECT_EQ(entries.entries()[0].label, "Kept");
    // ... and comes back to its place.
    entries.setEndpoints({endpoint(3), endpoint(2, "Two"), endpoint(1)});
    EXPECT_EQ(entries.ids(), (Ids{3, 2, 1}));
    EXPECT_EQ(*embedding.cachedName, "Kept");
}

ms::MIDIDriverDeviceDescription synth(const std::string& name) {
    return {name, "", "", ms::MIDIProtocolID::midi1_0, {{"E", {}, {name}}}};
}

TEST(EndpointEntries, CachedNameFollowsTheSelectionFromTheLiveDisplayName) {
    ms::testdriver::SimulatedSystem system;
    const auto a = system.plug(synth("A"));
    const auto b = system.plug(synth("B"));
    const MIDIInputEndpoint endpointA(a.destination(0));
    const MIDIInputEndpoint endpointB(b.destination(0));
    ASSERT_NE(endpointA.uniqueID, 0);
    // Renamed after the list was read: the cached name is a fresh read, not the stored name.
    ASSERT_EQ(ms::MIDIObjectSetStringProperty(a.destination(0), ms::kMIDIPropertyDisplayName,
                                              "A renamed"),
              ms::noErr);
    const int32_t gone = endpointB.uniqueID + 1000;

    Embedding embedding;
    *embedding.selection = gone;
    *embedding.cachedName = "Old";
    auto entries = embedding.entries({endpointA, endpointB});
    entries.appear();
    EXPECT_EQ(entries.ids(), (Ids{gone, endpointA.uniqueID, endpointB.uniqueID}));

    struct Step {
        std::optional<int32_t> selection;
        std::optional<std::string> cachedName;
        Ids ids;
    } const steps[] = {
        {endpointA.uniqueID, "A renamed", {endpointA.uniqueID, endpointB.uniqueID}},
        {gone, "A renamed", {gone, endpointA.uniqueID, endpointB.uniqueID}},  // name kept
        {std::nullopt, std::nullopt, {endpointA.uniqueID, endpointB.uniqueID}},
    };
    for (const auto& step : steps) {
        entries.setSelection(step.selection);
        EXPECT_EQ(*embedding.selection, step.selection);
        EXPECT_EQ(*embedding.cachedName, step.cachedName);
        EXPECT_EQ(entries.ids(), step.ids);
    }
    // The embedding code changes its value directly; the next check reacts once.
    *embedding.selection = endpointB.uniqueID;
    EXPECT_TRUE(entries.checkSelection());
    EXPECT_FALSE(entries.checkSelection());
    EXPECT_EQ(*embedding.cachedName, "B");
    // A listed endpoint whose name cannot be read leaves the cached name.
    system.injectStatus(ms::testdriver::Call::objectGetStringProperty, ms::kMIDIUnknownProperty);
    entries.setSelection(endpointA.uniqueID);
    EXPECT_EQ(*embedding.cachedName, "B");
}

TEST(EndpointEntries, OwnedFilterAppliesOnceShownAndKeepsAnOwnedSelection) {
    ms::testdriver::SimulatedSystem system;
    const auto manager = midiio::MIDIManager::make("Entries", "M", "F");
    manager->start();
    manager->addInput("Own", "own", midiio::MIDIIdentifierPersistence::unmanaged(2),
                      midiio::MIDIReceiver::events(false, [](const auto&) {}));
    ASSERT_EQ(manager->managedInputUniqueIDs(), Ids{2});
    const std::vector<MIDIInputEndpoint> endpoints = {endpoint(1), endpoint(2)};

    Embedding embedding;
    auto plain = embedding.entries(endpoints, true, manager, MIDIEndpointFilter::ownedFilter());
    plain.appear();
    EXPECT_EQ(plain.ids(), (Ids{1}));

    *embedding.selection = 2;
    auto chosen = embedding.entries(endpoints, true, manager, MIDIEndpointFilter::ownedFilter());
    EXPECT_EQ(chosen.ids(), (Ids{1, 2}));  // before it is shown
    chosen.appear();
    EXPECT_EQ(chosen.ids(), (Ids{2, 1}));
    EXPECT_FALSE(chosen.entries()[0].missing());  // drawn as an ordinary entry, on top
    // Changing the filter rebuilds at once.
    chosen.setFilter(MIDIEndpointFilter::defaultFilter());
    EXPECT_EQ(chosen.ids(), (Ids{1, 2}));
}

}  // namespace
}  // namespace midiui
