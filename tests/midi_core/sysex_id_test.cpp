#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "midi_core/events/manufacturer_names.hpp"
#include "midi_core/events/sysex_id.hpp"

namespace midicore::events {
namespace {

using Bytes = std::vector<uint8_t>;
using M = SysExManufacturer;

M one(int id) { return M::oneByte(UInt7(id)); }
M three(int b2, int b3) { return M::threeByte(UInt7(b2), UInt7(b3)); }

TEST(SysExManufacturer, ReadsTheSevenBitForm) {
    const std::vector<std::pair<Bytes, std::optional<M>>> cases = {
        {{0x01}, one(0x01)},          {{0x41}, one(0x41)},       {{0x7D}, one(0x7D)},
        {{0x7E}, std::nullopt},       {{0x7F}, std::nullopt},    {{0x00}, std::nullopt},
        {{0x80}, std::nullopt},       {{}, std::nullopt},        {{0x41, 0x10}, std::nullopt},
        {{0x00, 0x20, 0x33}, three(0x20, 0x33)},                 {{0x00, 0x00, 0x00}, three(0, 0)},
        {{0x01, 0x20, 0x33}, std::nullopt},                      {{0x00, 0x80, 0x33}, std::nullopt},
        {{0x00, 0x20, 0x80}, std::nullopt},                      {{0x00, 0x20, 0x33, 0x01}, std::nullopt},
    };
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(M::fromSysEx7RawBytes(bytes), expected) << ::testing::PrintToString(bytes);
    }
}

TEST(SysExManufacturer, ReadsTheEightBitForm) {
    const std::vector<std::pair<Bytes, std::optional<M>>> cases = {
        {{0x00, 0x41}, one(0x41)},    {{0x00, 0x7D}, one(0x7D)},       {{0x00, 0x7E}, std::nullopt},
        {{0x00, 0x00}, std::nullopt}, {{0x80, 0x00}, three(0, 0)},     {{0xA1, 0x09}, three(0x21, 0x09)},
        {{0xFF, 0x7F}, three(0x7F, 0x7F)},                             {{0x81, 0x80}, std::nullopt},
        {{0x01, 0x41}, std::nullopt}, {{0x7F, 0x00}, std::nullopt},    {{0x00}, std::nullopt},
        {{0x00, 0x41, 0x00}, std::nullopt},
    };
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(M::fromSysEx8RawBytes(bytes), expected) << ::testing::PrintToString(bytes);
    }
}

// Every valid ID survives both byte forms; the forms keep one-byte and three-byte IDs apart.
TEST(SysExManufacturer, EveryValidIDRoundTripsThroughBothForms) {
    std::vector<M> all;
    for (int id = 0x01; id <= 0x7D; ++id) all.push_back(one(id));
    for (int b2 = 0; b2 < 128; ++b2)
        for (int b3 = 0; b3 < 128; ++b3)
            if (b2 != 0 || b3 != 0) all.push_back(three(b2, b3));
    for (const M& m : all) {
        ASSERT_TRUE(m.isValid());
        const auto seven = m.sysEx7RawBytes();
        ASSERT_EQ(M::fromSysEx7RawBytes(seven.span()), m) << m;
        ASSERT_EQ(M::fromSysEx8RawBytes(m.sysEx8RawBytes()), m) << m;
        ASSERT_EQ(SysExID::fromSysEx7RawBytes(seven.span()), SysExID::manufacturer(m));
    }
    EXPECT_EQ(three(0x21, 0x09).sysEx8RawBytes(), (std::array<uint8_t, 2>{0xA1, 0x09}));
    EXPECT_EQ(one(0x41).sysEx8RawBytes(), (std::array<uint8_t, 2>{0x00, 0x41}));
    EXPECT_FALSE(three(0, 0).isValid());
    EXPECT_FALSE(one(0x00).isValid());
    EXPECT_FALSE(one(0x7E).isValid());
    EXPECT_NE(one(0x20), three(0x00, 0x20));
}

TEST(SysExID, ReadsUniversalAndManufacturerIDs) {
    const auto nonRealTime = SysExID::universal(UniversalSysExType::nonRealTime);
    const auto realTime = SysExID::universal(UniversalSysExType::realTime);
    EXPECT_EQ(SysExID::fromSysEx7RawBytes(Bytes{0x7E}), nonRealTime);
    EXPECT_EQ(SysExID::fromSysEx7RawBytes(Bytes{0x7F}), realTime);
    EXPECT_EQ(SysExID::fromSysEx7RawBytes(Bytes{0x00}), std::nullopt);
    EXPECT_EQ(SysExID::fromSysEx7RawBytes(Bytes{0xFE}), std::nullopt);
    EXPECT_EQ(SysExID::fromSysEx8RawBytes(Bytes{0x00, 0x7F}), realTime);
    EXPECT_EQ(SysExID::fromSysEx8RawBytes(Bytes{0x00, 0x41}), SysExID::manufacturer(one(0x41)));
    EXPECT_EQ(SysExID::fromSysEx8RawBytes(Bytes{0x01, 0x7F}), std::nullopt);
    EXPECT_EQ(SysExID::fromSysEx8RawBytes(Bytes{0x00, 0xFF}), std::nullopt);
    EXPECT_EQ(realTime.sysEx7RawBytes(), Bytes{0x7F});
    EXPECT_EQ(nonRealTime.sysEx8RawBytes(), (std::array<uint8_t, 2>{0x00, 0x7E}));
    EXPECT_NE(realTime, nonRealTime);

    EXPECT_EQ(UniversalSysExType::fromRawValue(UInt7(0x7D)), std::nullopt);
    EXPECT_EQ(UniversalSysExType::fromRawUInt8Value(0xFE), std::nullopt);
    EXPECT_EQ(UniversalSysExType::fromRawUInt8Value(0x7E), UniversalSysExType::nonRealTime);
}

TEST(SysExID, Texts) {
    EXPECT_EQ(one(0x41).description(), "0x41");
    EXPECT_EQ(three(0x20, 0x33).description(), "0x00 0x20 0x33");
    EXPECT_EQ(SysExID::manufacturer(one(0x41)).description(), "manufacturer(0x41)");
    EXPECT_EQ(SysExID::manufacturer(three(0x20, 0x33)).description(),
              "manufacturer(0x00 0x20 0x33)");
    EXPECT_EQ(SysExID::universal(UniversalSysExType::realTime).description(), "universal(realTime)");
    EXPECT_EQ(SysExID::universal(UniversalSysExType::nonRealTime).description(),
              "universal(nonRealTime)");
}

// The published list as the repository holds it: key bytes in hex -> name.
std::map<Bytes, std::string> manufacturerList() {
    std::ifstream file(PROJECT_SOURCE_DIR "/src/midi_core/data/midi-manufacturer-ids.tsv");
    EXPECT_TRUE(file) << "manufacturer list not found";
    std::map<Bytes, std::string> rows;
    std::string line;
    std::getline(file, line);  // header
    while (std::getline(file, line)) {
        const auto tab = line.find('\t');
        std::istringstream key(line.substr(0, tab));
        Bytes bytes;
        std::string hex;
        while (key >> hex) bytes.push_back(static_cast<uint8_t>(std::stoi(hex, nullptr, 16)));
        EXPECT_TRUE(rows.emplace(bytes, line.substr(tab + 1)).second) << line;
    }
    return rows;
}

TEST(ManufacturerNames, HoldEveryRowOfTheList) {
    const auto list = manufacturerList();
    const auto table = sysExManufacturerNames();
    const auto oneByteRows = std::count_if(list.begin(), list.end(),
                                           [](const auto& row) { return row.first.size() == 1; });
    EXPECT_EQ(oneByteRows, 86);
    EXPECT_EQ(list.size() - static_cast<size_t>(oneByteRows), 634u);
    ASSERT_EQ(table.size(), list.size());
    for (const auto& [key, name] : list) EXPECT_EQ(sysExManufacturerName(key), name);

    // The table's own keys are unique, and every one of them is a valid ID.
    std::map<Bytes, std::string_view> keys;
    for (const auto& row : table) {
        const Bytes key(row.key().begin(), row.key().end());
        EXPECT_TRUE(keys.emplace(key, row.name).second);
        const auto m = M::fromSysEx7RawBytes(key);
        ASSERT_TRUE(m && m->isValid());
        EXPECT_EQ(m->name(), row.name);
    }
}

TEST(ManufacturerNames, LookUpByManufacturer) {
    const auto list = manufacturerList();
    EXPECT_EQ(one(0x41).name(), list.at({0x41}));
    EXPECT_EQ(three(0x20, 0x04).name(), list.at({0x00, 0x20, 0x04}));  // non-ASCII name
    EXPECT_EQ(three(0x7F, 0x7F).name(), std::nullopt);
    EXPECT_EQ(one(0x7D).name(), std::nullopt);  // reserved for non-commercial use
    EXPECT_EQ(sysExManufacturerName(Bytes{}), std::nullopt);
    EXPECT_EQ(sysExManufacturerName(Bytes{0x41, 0x00}), std::nullopt);
}

}  // namespace
}  // namespace midicore::events
