#include <gtest/gtest.h>

#include <unordered_set>

#include "midi_core/io_error.hpp"
#include "midi_io/object_cache.hpp"
#include "midi_io/object_model.hpp"
#include "midiservices/test_driver.hpp"

namespace midiio {
namespace {

namespace ms = midiservices;
using midicore::MIDIIOError;
using midicore::MIDIOSStatus;

ms::MIDIDriverDeviceDescription synth(std::string name, size_t entities = 2) {
    ms::MIDIDriverDeviceDescription d{
        name, "Model " + name, "Maker", ms::MIDIProtocolID::midi1_0, {}};
    for (size_t e = 0; e < entities; ++e) {
        const auto n = std::to_string(e + 1);
        d.entities.push_back({"Port " + n, {"Out " + n + "a", "Out " + n + "b"}, {"In " + n}});
    }
    return d;
}

int32_t uniqueIDOf(uint32_t ref) {
    int32_t id = 0;
    ms::MIDIObjectGetIntegerProperty(ref, ms::kMIDIPropertyUniqueID, &id);
    return id;
}

template <class Records>
std::vector<uint32_t> refsOf(const Records& records) {
    std::vector<uint32_t> refs;
    for (const auto& r : records)
        refs.push_back(detail::objectRefOf(r));
    return refs;
}

TEST(ObjectModel, ScansComeBackInIndexOrderWithTheirNavigation) {
    ms::testdriver::SimulatedSystem system;
    EXPECT_TRUE(getSystemDevices().empty());
    const auto a = system.plug(synth("A"));
    const auto b = system.plug(synth("B", 1));

    EXPECT_EQ(refsOf(getSystemDevices()), (std::vector<uint32_t>{a.device(), b.device()}));
    EXPECT_EQ(refsOf(getEntities(a.device())), (std::vector<uint32_t>{a.entity(0), a.entity(1)}));
    const MIDIDevice device(a.device());
    EXPECT_EQ(device.name, "A");
    EXPECT_EQ(device.uniqueID, uniqueIDOf(a.device()));
    EXPECT_EQ(refsOf(device.outputs()), (std::vector<uint32_t>{a.source(0, 0), a.source(0, 1),
                                                               a.source(1, 0), a.source(1, 1)}));
    EXPECT_EQ(refsOf(device.inputs()), (std::vector<uint32_t>{a.destination(0), a.destination(1)}));
    EXPECT_EQ(refsOf(getSystemDestinationEndpoints()),
              (std::vector<uint32_t>{a.destination(0), a.destination(1), b.destination(0)}));
    EXPECT_EQ(getSystemSourceRef(uniqueIDOf(b.source(0, 1))), b.source(0, 1));
    EXPECT_EQ(getSystemDestinationRef(uniqueIDOf(b.source(0, 1))), std::nullopt);

    const MIDIOutputEndpoint source(a.source(1, 1));
    EXPECT_EQ(source.name, "Out 2b");
    EXPECT_EQ(source.displayName, "A Out 2b");
    ASSERT_TRUE(source.entity().has_value());
    EXPECT_EQ(source.entity()->coreMIDIObjectRef, a.entity(1));
    EXPECT_EQ(source.entity()->device()->coreMIDIObjectRef, a.device());
    EXPECT_EQ(source.device()->name, "A");
    EXPECT_TRUE(MIDIInputEndpoint(b.destination(0)).existsAsSystemDestination());
    EXPECT_FALSE(source.existsAsSystemDestination());
    EXPECT_EQ(device.debugDescription(), "MIDIDevice(name: \"A\", uniqueID: " +
                                             std::to_string(device.uniqueID) + ", exists: true)");

    ASSERT_EQ(system.unplug(a), ms::noErr);
    EXPECT_FALSE(device.exists());
    EXPECT_FALSE(MIDIEntity(a.entity(0)).exists());
    EXPECT_EQ(source.entity(), std::nullopt);
    EXPECT_EQ(source.device(), std::nullopt);
    EXPECT_EQ(MIDIEntity(a.entity(0)).debugDescription(),
              "MIDIEntity(name: \"\", uniqueID: 0, exists: false)");
}

TEST(ObjectModel, UnreadableValuesReadEmptyAndReferenceZeroGivesAnEmptyRecord) {
    ms::testdriver::SimulatedSystem system;
    const auto a = system.plug(synth("A", 1));
    ASSERT_EQ(ms::MIDIObjectRemoveProperty(a.destination(0), ms::kMIDIPropertyName), ms::noErr);
    const auto scanned = getSystemDestinationEndpoints();
    ASSERT_EQ(scanned.size(), 1u);
    EXPECT_EQ(scanned[0].name, "");
    EXPECT_EQ(scanned[0].displayName, "A");  // still read
    EXPECT_EQ(scanned[0].uniqueID, uniqueIDOf(a.destination(0)));

    const MIDIDevice none(0);
    EXPECT_EQ(none.name, "");
    EXPECT_EQ(none.uniqueID, 0);
    const MIDIEntity noEntity(0);
    EXPECT_EQ(noEntity.name, "");
    EXPECT_EQ(noEntity.uniqueID, 0);
    const AnyMIDIEndpoint gone(MIDIOutputEndpoint("Old", 77, 0xFFFFFF, "Old"));
    const auto fresh = gone.asAnyMIDIIOObject();
    EXPECT_EQ(fresh.objectCase(), AnyMIDIIOObject::Case::outputEndpoint);
    EXPECT_EQ(fresh.name(), "");
    EXPECT_EQ(fresh.uniqueID(), 0);
}

TEST(ObjectModel, EndpointsAreEqualByUniqueIDDevicesEntitiesAndAnyObjectsByReference) {
    const MIDIInputEndpoint in1("A", 5, 100, "A"), in2("B", 5, 200, "B"), in3("A", 6, 100, "A");
    EXPECT_EQ(in1, in2);
    EXPECT_NE(in1, in3);
    EXPECT_EQ(std::hash<MIDIInputEndpoint>{}(in1), std::hash<MIDIInputEndpoint>{}(in2));
    EXPECT_EQ(AnyMIDIEndpoint(in1), AnyMIDIEndpoint(MIDIOutputEndpoint("X", 5, 300, "X")));

    const MIDIDevice d1("D", 9, 100), d2("D", 9, 200), d3("E", 1, 100);
    EXPECT_NE(d1, d2);
    EXPECT_EQ(d1, d3);
    EXPECT_EQ(MIDIEntity("E", 1, 7), MIDIEntity("F", 2, 7));
    // Across cases an AnyMIDIIOObject compares the payloads' references.
    EXPECT_EQ(AnyMIDIIOObject(d1), AnyMIDIIOObject(in1));
    EXPECT_NE(AnyMIDIIOObject(in1), AnyMIDIIOObject(in2));
    const std::unordered_set<AnyMIDIIOObject> set{AnyMIDIIOObject(d1), AnyMIDIIOObject(d3),
                                                  AnyMIDIIOObject(in2)};
    EXPECT_EQ(set.size(), 2u);
    EXPECT_EQ(AnyMIDIIOObject(in1).description(), "MIDIInputEndpoint(name: \"A\", uniqueID: 5)");
    EXPECT_EQ(AnyMIDIEndpoint(in1).debugDescription(), "AnyMIDIEndpoint(name: \"A\", uniqueID: 5)");
}

TEST(ObjectModel, ReadErrorsAreTyped) {
    ms::testdriver::SimulatedSystem system;
    const auto a = system.plug(synth("A", 1));
    ms::MIDIClientRef client = 0;
    ASSERT_EQ(ms::MIDIClientCreateWithBlock("test", &client, {}), ms::noErr);
    ms::MIDIEndpointRef virtualSource = 0;
    ASSERT_EQ(ms::MIDISourceCreate(client, "Virtual", &virtualSource), ms::noErr);

    const auto expectError = [](auto call, MIDIIOError::Case errorCase, const std::string& text) {
        try {
            call();
            ADD_FAILURE() << "no error; expected " << text;
        } catch (const MIDIIOError& e) {
            EXPECT_EQ(e.errorCase(), errorCase);
            EXPECT_EQ(std::string(e.what()), text);
        }
    };
    const std::string stale = MIDIOSStatus(MIDIOSStatus::Case::objectNotFound).description();
    expectError([&] { getStringProperty(ms::kMIDIPropertyName, 0xFFFFFF); },
                MIDIIOError::Case::osStatus, stale);
    expectError([&] { getStringProperty("mine", a.device()); }, MIDIIOError::Case::readError,
                "Got nil while reading MIDIEndpointRef property value \"mine\"");
    expectError([&] { getDictionaryProperty("mine", a.device()); }, MIDIIOError::Case::readError,
                "Got nil while reading MIDIEndpointRef property list.");
    expectError([&] { getEntity(virtualSource); }, MIDIIOError::Case::internalInconsistency,
                "Error getting entity ID for endpoint ref " + std::to_string(virtualSource));
    expectError([&] { getDevice(0xFFFFFF); }, MIDIIOError::Case::osStatus, stale);
    EXPECT_EQ(getStringProperty(ms::kMIDIPropertyName, a.device()), "A");
    EXPECT_EQ(MIDIOutputEndpoint(virtualSource).entity(), std::nullopt);
    ms::MIDIClientDispose(client);
}

TEST(ObjectModel, NotificationObjectsComeFromTheCacheOrTheServices) {
    ms::testdriver::SimulatedSystem system;
    const auto a = system.plug(synth("A", 1));
    MIDIIOObjectCache cache;
    cache.devices = {MIDIDevice(a.device())};
    cache.outputEndpoints = {MIDIOutputEndpoint(a.source(0))};
    cache.inputEndpoints = {MIDIInputEndpoint(a.destination(0))};
    ASSERT_EQ(system.unplug(a), ms::noErr);

    struct Row {
        uint32_t ref;
        int32_t rawType;
        bool withCache;
        std::optional<AnyMIDIIOObject::Case> expected;
        std::string name;
    };
    const Row rows[] = {
        {0, 0, true, std::nullopt, ""},
        {a.device(), 5, true, std::nullopt, ""},
        {a.device(), -1, true, std::nullopt, ""},
        {a.device(), 0, true, AnyMIDIIOObject::Case::device, "A"},
        {a.device(), 16, true, AnyMIDIIOObject::Case::device, "A"},
        {a.device(), 0, false, AnyMIDIIOObject::Case::device, ""},
        {a.source(0), 18, true, AnyMIDIIOObject::Case::outputEndpoint, "Out 1a"},
        {a.source(0), 2, false, AnyMIDIIOObject::Case::outputEndpoint, ""},
        {a.destination(0), 19, true, AnyMIDIIOObject::Case::inputEndpoint, "In 1"},
        {a.entity(0), 17, true, AnyMIDIIOObject::Case::entity, ""},  // never cached
    };
    for (const auto& row : rows) {
        const auto object =
            AnyMIDIIOObject::fromReference(row.ref, row.rawType, row.withCache ? &cache : nullptr);
        ASSERT_EQ(object.has_value(), row.expected.has_value()) << row.rawType;
        if (!object) continue;
        EXPECT_EQ(object->objectCase(), *row.expected) << row.rawType;
        EXPECT_EQ(object->name(), row.name) << row.rawType;
        EXPECT_EQ(object->coreMIDIObjectRef(), row.ref);
    }
}

}  // namespace
}  // namespace midiio
