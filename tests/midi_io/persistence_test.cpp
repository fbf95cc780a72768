// The persisted key-value store, the identifier persistence rules and the API version values.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <unordered_set>

#include "midi_io/api_version.hpp"
#include "midi_io/identifier_persistence.hpp"
#include "midi_io/key_value_store.hpp"
#include "midiservices/test_driver.hpp"
#include "temp_folder.hpp"

namespace {

using midicore::MIDIProtocolVersion;
using midiio::CoreMIDIAPIVersion;
using midiio::KeyValueStore;
using midiio::MIDIIdentifierPersistence;

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(IdentifierPersistence, StoreRules) {
    midiiotest::TempFolder folder;
    auto store = std::make_shared<KeyValueStore>(folder.path() / "store");
    struct Case {
        const char* name;
        std::optional<KeyValueStore::Value> stored;
        std::optional<int32_t> expected;
    };
    const Case cases[] = {
        {"absent", std::nullopt, std::nullopt},
        {"in range", int64_t{-123456}, -123456},
        {"largest", int64_t{2147483647}, 2147483647},
        {"too large for 32 bits", int64_t{5000000000}, std::nullopt},
        {"too small for 32 bits", int64_t{-2147483649}, std::nullopt},
        {"zero means none", int64_t{0}, std::nullopt},
        // The store reads a text that is no number as 0, which is no ID.
        {"text that is no number", std::string("abc"), std::nullopt},
        {"text that is a number", std::string("77"), 77},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.stored)
            store->set("k", *c.stored);
        else
            store->remove("k");
        EXPECT_EQ(MIDIIdentifierPersistence::userDefaultsManaged("k", store).readID(), c.expected);
    }

    const auto persistence = MIDIIdentifierPersistence::userDefaultsManaged("k", store);
    persistence.writeID(42);
    EXPECT_EQ(persistence.readID(), 42);
    persistence.writeID(std::nullopt);
    EXPECT_FALSE(store->object("k"));
    persistence.writeID(42);
    persistence.writeID(0);  // 0 clears as none does
    EXPECT_FALSE(store->object("k"));
}

TEST(IdentifierPersistence, OtherCases) {
    std::optional<int32_t> kept = 9;
    std::vector<std::optional<int32_t>> stored;
    const auto managed = MIDIIdentifierPersistence::managedStorage(
        [&] { return kept; }, [&](std::optional<int32_t> id) { stored.push_back(id); });
    EXPECT_EQ(managed.readID(), 9);
    managed.writeID(5);
    managed.writeID(std::nullopt);
    EXPECT_EQ(stored, (std::vector<std::optional<int32_t>>{5, std::nullopt}));

    const auto unmanaged = MIDIIdentifierPersistence::unmanaged(7);
    const auto adHoc = MIDIIdentifierPersistence::adHoc();
    unmanaged.writeID(8);
    adHoc.writeID(8);
    EXPECT_EQ(unmanaged.readID(), 7);
    EXPECT_EQ(adHoc.readID(), std::nullopt);
}

TEST(KeyValueStore, SurvivesARestartAndWritesAtomically) {
    midiiotest::TempFolder folder;
    const auto file = folder.path() / "nested" / "store";
    {
        KeyValueStore store(file);
        EXPECT_TRUE(store.set("Virtual_MIDI_In", int64_t{-5}));
        EXPECT_TRUE(store.set("odd\tkey\n\\", std::string("line one\nline\\two\r")));
        EXPECT_TRUE(store.set("gone", int64_t{1}));
        EXPECT_TRUE(store.remove("gone"));
    }
    KeyValueStore reopened(file);
    EXPECT_EQ(reopened.integer("Virtual_MIDI_In"), -5);
    EXPECT_EQ(reopened.object("odd\tkey\n\\"),
              KeyValueStore::Value(std::string("line one\nline\\two\r")));
    EXPECT_FALSE(reopened.object("gone"));
    // Only the store itself is left in its folder: no temporary file survives a write.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(file.parent_path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(KeyValueStore, DamagedFilesReadAsEmpty) {
    midiiotest::TempFolder folder;
    const std::string header = "tessaloom-key-value-store 1\n";
    const std::string damaged[] = {
        "",
        "\x00\xff\xfe garbage",
        "other-format 1\ni\tk\t1\n",
        header + "i\tk\t1",  // last line cut short
        header + "i\tk\tone\n",
        header + "i\tk\t99999999999999999999\n",
        header + "x\tk\t1\n",
        header + "s\tk\tbad escape \\q\n",
        header + "ik1\n",
        header + "i\tk\t+1\n",
    };
    for (const auto& text : damaged) {
        SCOPED_TRACE(testing::PrintToString(text));
        const auto file = folder.path() / "store";
        writeFile(file, text);
        KeyValueStore store(file);
        EXPECT_FALSE(store.object("k"));
        // A damaged file is replaced by the next change.
        EXPECT_TRUE(store.set("n", int64_t{3}));
        EXPECT_EQ(KeyValueStore(file).integer("n"), 3);
    }
    // A folder where the file should be: nothing is read, writes report failure, values stay.
    std::filesystem::create_directories(folder.path() / "dir");
    KeyValueStore blocked(folder.path() / "dir");
    EXPECT_FALSE(blocked.set("k", int64_t{1}));
    EXPECT_EQ(blocked.integer("k"), 1);
}

TEST(KeyValueStore, ConfigurationFolderFollowsTheEnvironment) {
    const std::string savedXdg = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    const bool hadXdg = std::getenv("XDG_CONFIG_HOME") != nullptr;
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", "/home/someone", 1);
    setenv("XDG_CONFIG_HOME", "/tmp/config", 1);
    EXPECT_EQ(KeyValueStore::configurationFolder(), "/tmp/config");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(KeyValueStore::configurationFolder(), "/home/someone/.config");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(KeyValueStore::configurationFolder(), "/home/someone/.config");
    if (hadXdg) setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    setenv("HOME", savedHome.c_str(), 1);
}

TEST(CoreMIDIAPIVersion, EqualityHashAndText) {
    const auto legacy = CoreMIDIAPIVersion::legacyCoreMIDI();
    const auto new1 = CoreMIDIAPIVersion::newCoreMIDI(MIDIProtocolVersion::_1_0);
    const auto new2 = CoreMIDIAPIVersion::newCoreMIDI(MIDIProtocolVersion::_2_0);
    EXPECT_EQ(legacy.description(), "Legacy Core MIDI API");
    EXPECT_EQ(new1.description(), "New Core MIDI API (MIDI 1.0)");
    EXPECT_EQ(new2.description(), "New Core MIDI API (MIDI 2.0)");
    EXPECT_NE(new1, new2);
    EXPECT_NE(legacy, new1);
    EXPECT_EQ(new2, CoreMIDIAPIVersion::newCoreMIDI(MIDIProtocolVersion::_2_0));
    const std::unordered_set<CoreMIDIAPIVersion> set{legacy, new1, new2, new2};
    EXPECT_EQ(set.size(), 3u);
    EXPECT_EQ(legacy.midiProtocol(), MIDIProtocolVersion::_1_0);
    EXPECT_EQ(new2.midiProtocol(), MIDIProtocolVersion::_2_0);
}

TEST(CoreMIDIAPIVersion, FollowsTheOperatingSystemVersion) {
    midiservices::testdriver::SimulatedSystem system;
    const auto new1 = CoreMIDIAPIVersion::newCoreMIDI(MIDIProtocolVersion::_1_0);
    struct Case {
        midiservices::OperatingSystemVersion os;
        CoreMIDIAPIVersion preferred;
        bool newAvailable;
    };
    const Case cases[] = {
        {{10, 15, 7}, CoreMIDIAPIVersion::legacyCoreMIDI(), false},
        {{11, 0, 0}, CoreMIDIAPIVersion::newCoreMIDI(MIDIProtocolVersion::_2_0), true},
        {{14, 2, 0}, CoreMIDIAPIVersion::newCoreMIDI(MIDIProtocolVersion::_2_0), true},
    };
    for (const auto& c : cases) {
        system.setOperatingSystemVersion(c.os);
        EXPECT_EQ(CoreMIDIAPIVersion::preferredForThisSystem(), c.preferred);
        EXPECT_EQ(new1.isAvailableOnThisSystem(), c.newAvailable);
        EXPECT_TRUE(CoreMIDIAPIVersion::legacyCoreMIDI().isAvailableOnThisSystem());
        EXPECT_EQ(new1.availableOrLegacy(),
                  c.newAvailable ? new1 : CoreMIDIAPIVersion::legacyCoreMIDI());
    }
}

}  // namespace
