#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "midi_io/object_model.hpp"
#include "midiservices/test_driver.hpp"

namespace midiio {
namespace {

namespace ms = midiservices;
using P = MIDIIOObjectProperty;

TEST(ObjectProperties, CasesKeysAndRelevance) {
    ms::testdriver::SimulatedSystem system;
    ASSERT_EQ(properties::allCases().size(), 45u);
    std::set<std::string_view> keys, names;
    for (const auto p : properties::allCases()) {
        EXPECT_EQ(properties::fromCoreMIDIKey(properties::coreMIDIKey(p)), p);
        keys.insert(properties::coreMIDIKey(p));
        names.insert(properties::displayName(p));
    }
    EXPECT_EQ(keys.size(), 45u);
    EXPECT_EQ(names.size(), 45u);
    // Every key the services know is one of the cases, and no other key is.
    EXPECT_EQ(ms::MIDIKnownPropertyKeys().size(), 45u);
    for (const auto key : ms::MIDIKnownPropertyKeys())
        EXPECT_TRUE(keys.count(key)) << key;
    EXPECT_EQ(properties::fromCoreMIDIKey(ms::kMIDIPropertyOffline), P::isOffline);
    EXPECT_EQ(properties::fromCoreMIDIKey(ms::kMIDIPropertyPrivate), P::isPrivate);
    EXPECT_EQ(properties::fromCoreMIDIKey("Offline"), std::nullopt);
    EXPECT_EQ(properties::fromCoreMIDIKey(""), std::nullopt);
    EXPECT_EQ(properties::displayName(P::advanceScheduleTimeMuSec).size(), 27u);

    using T = MIDIIOObjectType;
    const std::pair<T, size_t> counts[] = {
        {T::device, 39}, {T::entity, 34}, {T::inputEndpoint, 24}, {T::outputEndpoint, 24}};
    for (const auto& [type, count] : counts)
        EXPECT_EQ(properties::relevantProperties(type).size(), count);
    EXPECT_TRUE(properties::isRelevant(P::isEmbeddedEntity, T::entity));
    EXPECT_FALSE(properties::isRelevant(P::singleRealtimeEntity, T::entity));
    EXPECT_TRUE(properties::isRelevant(P::singleRealtimeEntity, T::device));
    EXPECT_FALSE(properties::isRelevant(P::isEmbeddedEntity, T::device));
    for (const auto p :
         {P::displayName, P::protocolID, P::isPrivate, P::isBroadcast, P::connectionUniqueID})
        EXPECT_EQ(properties::relevantObjects(p),
                  (std::vector<T>{T::inputEndpoint, T::outputEndpoint}));
    for (const auto p : {P::nameConfigurationDictionary, P::driverDeviceEditorApp, P::image,
                         P::maxReceiveChannels, P::maxTransmitChannels})
        EXPECT_EQ(properties::relevantObjects(p), (std::vector<T>{T::device}));

    // Older systems lack two keys: those cases are never produced and say why.
    system.setOperatingSystemVersion({10, 14, 6});
    EXPECT_EQ(properties::coreMIDIKey(P::nameConfigurationDictionary), "");
    EXPECT_EQ(properties::coreMIDIKey(P::protocolID), "");
    EXPECT_EQ(properties::fromCoreMIDIKey(ms::kMIDIPropertyProtocolID), std::nullopt);
    const MIDIDevice none(0);
    EXPECT_EQ(none.propertyStringValue(P::nameConfigurationDictionary),
              "OS not supported. Requires macOS 10.15, macCatalyst 13.0, or iOS 13.0.");
    EXPECT_EQ(none.propertyStringValue(P::protocolID),
              "OS not supported. Requires macOS 11.0, macCatalyst 14.0, or iOS 14.0.");
}

struct Fixture {
    ms::testdriver::SimulatedSystem system;
    ms::testdriver::SimulatedDevice device = system.plug(
        {"Synth", "", "Maker", ms::MIDIProtocolID::midi1_0, {{"Port", {"Out"}, {"In"}}}});
};

TEST(PropertyValues, TypedGettersAndTexts) {
    Fixture f;
    const MIDIOutputEndpoint source(f.device.source(0));
    const MIDIDevice device(f.device.device());
    const auto setInt = [](uint32_t ref, std::string_view key, int32_t v) {
        ASSERT_EQ(ms::MIDIObjectSetIntegerProperty(ref, key, v), ms::noErr);
    };
    const auto remove = [](uint32_t ref, std::string_view key) {
        ms::MIDIObjectRemoveProperty(ref, key);
    };
    const uint32_t s = source.coreMIDIObjectRef;
    const std::vector<std::tuple<std::function<void()>, P, std::string>> rows{
        {[&] { remove(f.device.device(), ms::kMIDIPropertyModel); }, P::model, "-"},
        {[] {}, P::manufacturer, "Maker"},  // from the device
        {[] {}, P::maxSysExSpeed, "0"},     // unset integer
        {[] {}, P::supportsMMC, "No"},      // unset flag
        {[&] { setInt(s, ms::kMIDIPropertySupportsMMC, 1); }, P::supportsMMC, "Yes"},
        {[&] { setInt(s, ms::kMIDIPropertyCanRoute, 2); }, P::canRoute, "No"},
        {[&] { setInt(s, ms::kMIDIPropertyIsMixer, -1); }, P::isMixer, "No"},
        {[&] { setInt(s, ms::kMIDIPropertyReceiveChannels, 1); }, P::receiveChannels, "0b00000001"},
        {[&] { setInt(s, ms::kMIDIPropertyReceiveChannels, 0); }, P::receiveChannels, "0b00000000"},
        {[&] { setInt(s, ms::kMIDIPropertyTransmitChannels, 65535); }, P::transmitChannels,
         "0b1111111111111111"},
        {[&] { setInt(s, ms::kMIDIPropertyAdvanceScheduleTimeMuSec, 1500); },
         P::advanceScheduleTimeMuSec, "1500"},
        {[&] { setInt(s, ms::kMIDIPropertyUniqueID, -5); }, P::uniqueID, "-5"},
        {[] {}, P::protocolID, "MIDI 1.0"},
        {[&] { setInt(s, ms::kMIDIPropertyProtocolID, 2); }, P::protocolID, "MIDI 2.0"},
        {[&] { setInt(s, ms::kMIDIPropertyProtocolID, 7); }, P::protocolID, "-"},
        {[&] { remove(s, ms::kMIDIPropertyProtocolID); }, P::protocolID, "-"},
        {[&] { ms::MIDIObjectSetStringProperty(s, ms::kMIDIPropertyName, "Renamed"); }, P::name,
         "Renamed"},
        {[&] { ms::MIDIObjectSetStringProperty(s, ms::kMIDIPropertyDisplayName, "Shown"); },
         P::displayName, "Shown"},
        {[] {}, P::driverOwner, "-"},
        {[] {}, P::image, "-"},
        {[&] {
             ms::MIDIObjectSetStringProperty(f.device.device(), ms::kMIDIPropertyImage,
                                             "/no such/dir/icon 1.ppm");
         },
         P::image, "file:///no%20such/dir/icon%201.ppm"},
        {[&] {
             ms::MIDIObjectSetDictionaryProperty(f.device.device(),
                                                 ms::kMIDIPropertyNameConfigurationDictionary,
                                                 {{"bank", ms::MIDIPropertyList::integer(3)}});
         },
         P::nameConfigurationDictionary, "{\"bank\" = 3;}"},
    };
    for (const auto& [set, property, text] : rows) {
        set();
        EXPECT_EQ(source.propertyStringValue(property), text) << properties::caseName(property);
    }
    // The getters agree with the texts, and the stored fields stay snapshots.
    EXPECT_EQ(source.advanceScheduleTimeMuSec(), 1500);
    EXPECT_EQ(source.protocolID(), std::nullopt);
    EXPECT_EQ(source.model(), std::nullopt);
    EXPECT_EQ(source.manufacturer(), "Maker");
    EXPECT_EQ(source.transmitChannels(), 65535);
    EXPECT_EQ(source.currentDisplayName(), "Shown");
    EXPECT_EQ(source.name, "Out");
    EXPECT_EQ(source.imageFileURL(), std::filesystem::path("/no such/dir/icon 1.ppm"));
    EXPECT_EQ(source.image(), std::nullopt);  // no readable file
    EXPECT_TRUE(device.nameConfigurationDictionary().has_value());

    const auto lines = source.propertyStringValues(false);
    ASSERT_EQ(lines.size(), 45u);
    EXPECT_EQ(lines[0], (MIDIPropertyStringValue{"Name", "Renamed"}));
    EXPECT_EQ(lines[44].key, "Transmits Program Changes");
    EXPECT_EQ(device.propertyStringValues(true).size(), 39u);
    EXPECT_EQ(AnyMIDIIOObject(source).propertyStringValues(true).size(), 24u);
}

TEST(PropertyValues, AStaleObjectReadsAbsentZeroAndNo) {
    Fixture f;
    const MIDIInputEndpoint dest(f.device.destination(0));
    ASSERT_EQ(f.system.unplug(f.device), ms::noErr);
    EXPECT_EQ(dest.name, "In");  // stored
    for (const auto& line : dest.propertyStringValues(false)) {
        static const std::set<std::string> stale{"-", "0", "No", "0b00000000"};
        EXPECT_TRUE(stale.count(line.value)) << line.key << ": " << line.value;
    }
    EXPECT_EQ(dest.propertyStringValue(P::name), "-");
    EXPECT_EQ(dest.propertyStringValue(P::uniqueID), "0");
    EXPECT_EQ(dest.propertyStringValue(P::protocolID), "-");
    EXPECT_EQ(dest.protocolID(), std::nullopt);
    EXPECT_FALSE(dest.isOffline());
}

TEST(PropertyValues, DeviceImagesLoadFromNetpbmFiles) {
    Fixture f;
    const auto dir =
        std::filesystem::temp_directory_path() / ("midi_io_image_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    // A 2x1 colour image with a comment (maximum 255) and a 1x1 16-bit grey image.
    using namespace std::string_literals;
    const std::string ppm = "P6\n# icon\n2 1\n255\n\xff\x00\x00\x00\x80\xff"s;
    const std::string pgm16 = "P5 1 1 65535\n\x80\x00"s;
    std::ofstream(dir / "icon.ppm", std::ios::binary) << ppm;
    std::ofstream(dir / "grey.pgm", std::ios::binary) << pgm16;
    std::ofstream(dir / "short.ppm", std::ios::binary) << ppm.substr(0, ppm.size() - 1);

    const MIDIDevice device(f.device.device());
    const auto imageAt = [&](const std::string& name) {
        ms::MIDIObjectSetStringProperty(device.coreMIDIObjectRef, ms::kMIDIPropertyImage,
                                        (dir / name).string());
        return device.image();
    };
    const auto colour = imageAt("icon.ppm");
    ASSERT_TRUE(colour.has_value());
    EXPECT_EQ(colour->width, 2u);
    EXPECT_EQ(colour->rgba, (std::vector<uint8_t>{255, 0, 0, 255, 0, 128, 255, 255}));
    const auto grey = imageAt("grey.pgm");
    ASSERT_TRUE(grey.has_value());
    EXPECT_EQ(grey->rgba, (std::vector<uint8_t>{128, 128, 128, 255}));
    EXPECT_EQ(imageAt("short.ppm"), std::nullopt);
    EXPECT_EQ(device.propertyStringValue(P::image), "file://" + (dir / "short.ppm").string());
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace midiio
