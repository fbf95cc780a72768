#include <gtest/gtest.h>

#include <unordered_set>

#include "midi_io/endpoint_identity.hpp"
#include "midi_io/lookups.hpp"
#include "midiservices/test_driver.hpp"

namespace midiio {
namespace {

namespace ms = midiservices;
using Identity = MIDIEndpointIdentity;

std::vector<std::string> namesOf(const std::vector<MIDIOutputEndpoint>& list) {
    std::vector<std::string> names;
    for (const auto& e : list)
        names.push_back(e.name);
    return names;
}

TEST(Lookups, ByUniqueIDAndNameFollowTheNameRule) {
    // "Cafe\u0301" is the decomposed spelling of "Café": canonically equivalent.
    const std::vector<MIDIOutputEndpoint> list{{"", 1, 10, "Empty"},      {"Keys", 2, 11, "K1"},
                                               {"keys", 3, 12, "K2"},     {"Keys", 2, 13, "K3"},
                                               {"Caf\u00e9", 4, 14, "C"}, {" Keys", 5, 15, "K4"}};
    struct Row {
        std::string name;
        bool ignoringEmpty;
        std::optional<uint32_t> firstRef;
        size_t count;
    };
    const Row rows[] = {
        {"Keys", true, 11, 2},
        {"keys", false, 12, 1},
        {"KEYS", false, std::nullopt, 0},
        {"", true, std::nullopt, 0},
        {"", false, 10, 1},
        {"Cafe\u0301", true, 14, 1},
        {"Keys ", true, std::nullopt, 0},
    };
    for (const auto& row : rows) {
        const auto first = firstWhereName(list, row.name, row.ignoringEmpty);
        EXPECT_EQ(first ? std::optional(first->coreMIDIObjectRef) : std::nullopt, row.firstRef)
            << row.name;
        EXPECT_EQ(containsWhereName(list, row.name, row.ignoringEmpty), row.firstRef.has_value());
        EXPECT_EQ(filterWhereName(list, row.name, row.ignoringEmpty).size(), row.count);
    }
    EXPECT_EQ(firstWhereUniqueID(list, 2)->coreMIDIObjectRef, 11u);  // the earlier of two
    EXPECT_FALSE(containsWhereUniqueID(list, 9));
    const std::vector<MIDIDevice> none;
    EXPECT_FALSE(firstWhereUniqueID(none, 1).has_value());
    EXPECT_TRUE(sortedByName(none).empty());
}

TEST(Lookups, SortingByNameIsCaseInsensitiveAndLocaleAware) {
    const std::vector<MIDIOutputEndpoint> list{{"gamma", 1, 1, "Zeta"},
                                               {"Beta", 2, 2, "eta"},
                                               {"alpha", 3, 3, "Eta2"},
                                               {"\u00e9clair", 4, 4, "d"},
                                               {"Zulu", 5, 5, "\u00c9"}};
    // Code-point order would put "Beta" and "Zulu" before "alpha" and "éclair" last.
    EXPECT_EQ(namesOf(sortedByName(list)),
              (std::vector<std::string>{"alpha", "Beta", "\u00e9clair", "gamma", "Zulu"}));
    EXPECT_EQ(namesOf(sortedByDisplayName(list)),
              (std::vector<std::string>{"\u00e9clair", "Zulu", "Beta", "alpha", "gamma"}));
    const std::vector<MIDIDevice> devices{{"b", 1, 1}, {"A", 2, 2}};
    EXPECT_EQ(sortedByName(devices)[0].name, "A");
}

TEST(EndpointIdentity, SelectsByTheIdentityRules) {
    const std::vector<MIDIInputEndpoint> list{
        {"A", 1, 10, "X"}, {"", 5, 11, "Y"}, {"C", 7, 12, ""}, {"D", 8, 13, "X"}};
    struct Row {
        Identity identity;
        std::optional<uint32_t> selected;
    };
    const Row rows[] = {
        {Identity::name("A"), 10},
        {Identity::name(""), 11},
        {Identity::name("a"), std::nullopt},
        {Identity::displayName("X"), 10},
        {Identity::displayName(""), 12},
        {Identity::uniqueID(8), 13},
        {Identity::uniqueID(9), std::nullopt},
        // A unique-ID match anywhere beats an earlier display-name match.
        {Identity::uniqueIDWithFallback(5, "X"), 11},
        {Identity::uniqueIDWithFallback(9, "X"), 10},
        // An empty fallback never matches, not even an empty display name.
        {Identity::uniqueIDWithFallback(9, ""), std::nullopt},
    };
    for (const auto& row : rows) {
        const auto found = firstMatching(list, row.identity);
        EXPECT_EQ(found ? std::optional(found->coreMIDIObjectRef) : std::nullopt, row.selected)
            << row.identity.description();
        size_t matching = 0;
        for (const auto& e : list)
            matching += row.identity.matches(e);
        EXPECT_EQ(matching > 0, row.selected.has_value()) << row.identity.description();
    }
    EXPECT_FALSE(Identity::uniqueIDWithFallback(9, "").matches(MIDIInputEndpoint("C", 7, 12, "")));
    EXPECT_EQ(asIdentity(list[0]), Identity::uniqueIDWithFallback(1, "X"));
    EXPECT_EQ(asIdentity(list[2]), Identity::uniqueID(7));
    EXPECT_TRUE(asIdentities(std::vector<MIDIInputEndpoint>{}).empty());
}

TEST(EndpointIdentity, TextsEqualityAndHashing) {
    EXPECT_EQ(Identity::name("Keys").description(), "Endpoint Name: \"Keys\"");
    EXPECT_EQ(Identity::displayName("K").description(), "Endpoint Display Name: \"K\"");
    EXPECT_EQ(Identity::uniqueID(-3).description(), "UniqueID: -3");
    EXPECT_EQ(Identity::uniqueIDWithFallback(3, "K").description(),
              "UniqueID: 3 with fallback EndpointDisplayName: \"K\"");
    const std::unordered_set<Identity> set{Identity::uniqueID(3),
                                           Identity::uniqueIDWithFallback(3, "A"),
                                           Identity::uniqueIDWithFallback(3, "B"),
                                           Identity::name("A"),
                                           Identity::displayName("A"),
                                           Identity::uniqueID(3)};
    EXPECT_EQ(set.size(), 5u);
    const MIDIEndpointFilter f1(true, {Identity::name("A"), Identity::uniqueID(1)});
    const MIDIEndpointFilter f2(true,
                                {Identity::uniqueID(1), Identity::name("A"), Identity::name("A")});
    EXPECT_EQ(f1, f2);
    EXPECT_EQ(f1.hash(), f2.hash());
    EXPECT_NE(f1, MIDIEndpointFilter(false, {Identity::name("A"), Identity::uniqueID(1)}));
}

// A manager stand-in owning two virtual endpoints of a client.
class Owner : public MIDIManagedEndpoints {
  public:
    std::vector<uint32_t> inputRefs, outputRefs;
    std::vector<int32_t> managedInputUniqueIDs() const override { return {}; }
    std::vector<int32_t> managedOutputUniqueIDs() const override { return {}; }
    std::vector<uint32_t> managedInputEndpointRefs() const override { return inputRefs; }
    std::vector<uint32_t> managedOutputEndpointRefs() const override { return outputRefs; }
};

TEST(EndpointFilter, OwnedAndCriteriaKeepTheRightEndpoints) {
    ms::testdriver::SimulatedSystem system;
    system.plug({"Dev", "", "", ms::MIDIProtocolID::midi1_0, {{"E", {"Keys", "Pads"}, {"Keys"}}}});
    ms::MIDIClientRef client = 0;
    ASSERT_EQ(ms::MIDIClientCreateWithBlock("owner", &client, {}), ms::noErr);
    Owner owner;
    owner.outputRefs.resize(2);
    ASSERT_EQ(ms::MIDISourceCreate(client, "Keys", &owner.outputRefs[0]), ms::noErr);
    ASSERT_EQ(ms::MIDISourceCreate(client, "Mine", &owner.outputRefs[1]), ms::noErr);
    owner.inputRefs.push_back(0);  // a managed input without an endpoint owns nothing
    const auto sources = getSystemSourceEndpoints();
    ASSERT_EQ(namesOf(sources), (std::vector<std::string>{"Keys", "Pads", "Keys", "Mine"}));

    const MIDIEndpointFilter keys(true, {Identity::name("Keys")});
    struct Row {
        MIDIEndpointFilter filter;
        bool include;
        const MIDIManagedEndpoints* manager;
        std::vector<size_t> kept;
    };
    const Row rows[] = {
        {MIDIEndpointFilter::defaultFilter(), true, &owner, {0, 1, 2, 3}},
        {MIDIEndpointFilter::ownedFilter(), true, &owner, {0, 1}},
        {MIDIEndpointFilter::ownedFilter(), false, &owner, {2, 3}},
        {MIDIEndpointFilter::ownedFilter(), true, nullptr, {0, 1, 2, 3}},
        {keys, true, &owner, {0}},
        {keys, false, &owner, {3}},
        {MIDIEndpointFilter::ofEndpoints(false, std::vector{sources[1]}), true, &owner, {1}},
    };
    for (const auto& row : rows) {
        std::vector<MIDIOutputEndpoint> expected;
        for (size_t i : row.kept)
            expected.push_back(sources[i]);
        const auto kept = filterEndpoints(sources, row.filter, row.manager, row.include);
        EXPECT_EQ(kept, expected);
        // By unique ID only: the manager's records must not be matched by name.
        for (size_t i = 0; i < kept.size(); ++i)
            EXPECT_EQ(kept[i].coreMIDIObjectRef, expected[i].coreMIDIObjectRef);
    }
    ms::MIDIClientDispose(client);
}

}  // namespace
}  // namespace midiio
