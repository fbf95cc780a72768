#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "midi_io/endpoint_lists.hpp"
#include "midi_io/object_cache.hpp"
#include "midiservices/test_driver.hpp"

namespace midiio {
namespace {

namespace ms = midiservices;

class Owner : public MIDIManagedEndpoints {
  public:
    std::vector<int32_t> inputIDs, outputIDs;
    std::vector<int32_t> managedInputUniqueIDs() const override { return inputIDs; }
    std::vector<int32_t> managedOutputUniqueIDs() const override { return outputIDs; }
    std::vector<uint32_t> managedInputEndpointRefs() const override { return {}; }
    std::vector<uint32_t> managedOutputEndpointRefs() const override { return {}; }
};

ms::MIDIDriverDeviceDescription device(const std::string& name) {
    return {name, "", "", ms::MIDIProtocolID::midi1_0, {{"E", {"Out"}, {"In 1", "In 2"}}}};
}

TEST(EndpointLists, UnownedListsLeaveOutTheIDsTheManagerStores) {
    ms::testdriver::SimulatedSystem system;
    const auto a = system.plug(device("A"));
    const auto b = system.plug(device("B"));
    auto owner = std::make_shared<Owner>();
    MIDIDevices devices;
    MIDIEndpoints endpoints(owner);
    EXPECT_TRUE(devices.devices().empty());
    EXPECT_TRUE(endpoints.inputs().empty() && endpoints.inputsUnowned().empty() &&
                endpoints.outputs().empty() && endpoints.outputsUnowned().empty());

    // Two destinations share the owned ID: both go. An unknown ID removes nothing.
    const auto dest = MIDIInputEndpoint(a.destination(0, 1));
    ASSERT_EQ(ms::MIDIObjectSetIntegerProperty(b.destination(0, 0), ms::kMIDIPropertyUniqueID,
                                               dest.uniqueID + 1000),
              ms::noErr);
    owner->inputIDs = {dest.uniqueID, 424242};
    devices.refresh();
    endpoints.refresh();
    EXPECT_EQ(devices.devices().size(), 2u);
    EXPECT_EQ(endpoints.inputs().size(), 4u);
    auto unowned = endpoints.inputsUnowned();
    EXPECT_EQ(unowned.size(), 3u);
    EXPECT_EQ(std::count(unowned.begin(), unowned.end(), dest), 0);
    EXPECT_EQ(endpoints.outputsUnowned(), endpoints.outputs());

    const MIDIIOObjectCache cache(devices, endpoints);
    EXPECT_EQ(cache.devices, devices.devices());
    EXPECT_EQ(cache.inputEndpoints.size(), 4u);  // the owned ones included

    const auto byDevice = inputEndpointsByDevice(devices);
    ASSERT_EQ(byDevice.size(), 2u);
    EXPECT_EQ(byDevice.at(MIDIDevice(a.device())),
              (std::vector<MIDIInputEndpoint>{MIDIInputEndpoint(a.destination(0, 0)), dest}));
    EXPECT_EQ(outputEndpointsByDevice(devices).at(MIDIDevice(b.device())).size(), 1u);

    // With the manager gone the unowned lists are the full ones.
    owner.reset();
    endpoints.refresh();
    EXPECT_EQ(endpoints.inputsUnowned(), endpoints.inputs());
    MIDIEndpoints plain;
    plain.refresh();
    EXPECT_EQ(plain.inputsUnowned().size(), 4u);
}

TEST(EndpointLists, RefreshingWhileOthersReadKeepsWholeLists) {
    ms::testdriver::SimulatedSystem system;
    MIDIDevices devices;
    MIDIEndpoints endpoints;
    std::atomic<bool> done{false};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r) {
        readers.emplace_back([&] {
            while (!done) {
                // Each list is one whole scan: destinations come in pairs of one device.
                const auto inputs = endpoints.inputsUnowned();
                EXPECT_EQ(inputs.size() % 2, 0u);
                (void)devices.devices();
            }
        });
    }
    for (int i = 0; i < 20; ++i) {
        const auto d = system.plug(device("D" + std::to_string(i)));
        devices.refresh();
        endpoints.refresh();
        if (i % 2) system.unplug(d);
    }
    done = true;
    for (auto& t : readers)
        t.join();
    endpoints.refresh();
    EXPECT_EQ(endpoints.inputs().size(), 20u);
}

}  // namespace
}  // namespace midiio
