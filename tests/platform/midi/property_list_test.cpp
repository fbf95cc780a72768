#include <gtest/gtest.h>

#include <set>
#include <string>

#include "midiservices/properties.hpp"

using namespace midiservices;

namespace {

TEST(PropertyList, DescriptionShowsNestedValuesWithKeysInOrderAndQuotesEscaped) {
    const MIDIDictionary dictionary{
        {"z", MIDIPropertyList::boolean(true)},
        {"a \"b\"",
         MIDIPropertyList::array({MIDIPropertyList::integer(-3), MIDIPropertyList::real(0.5),
                                  MIDIPropertyList::string("x\\y")})},
        {"m", MIDIPropertyList::dictionary({})},
    };
    EXPECT_EQ(MIDIDictionaryDescription(dictionary),
              R"({"a \"b\"" = (-3, 0.5, "x\\y"); "m" = {}; "z" = true;})");
    EXPECT_NE(MIDIPropertyList::integer(1), MIDIPropertyList::boolean(true));
    EXPECT_NE(MIDIPropertyList::integer(1), MIDIPropertyList::real(1));
}

TEST(PropertyKeys, EveryKnownKeyIsDistinctAndTyped) {
    const auto& keys = MIDIKnownPropertyKeys();
    EXPECT_EQ(keys.size(), 45u);
    EXPECT_EQ(std::set<std::string_view>(keys.begin(), keys.end()).size(), keys.size());
    struct Case {
        std::string_view key;
        std::optional<MIDIPropertyKeyType> type;
    } cases[] = {
        {kMIDIPropertyName, MIDIPropertyKeyType::string},
        {kMIDIPropertyUniqueID, MIDIPropertyKeyType::integer},
        {kMIDIPropertyNameConfigurationDictionary, MIDIPropertyKeyType::dictionary},
        {kMIDIPropertyAdvanceScheduleTimeMuSec, MIDIPropertyKeyType::integer},
        {kMIDIPropertyImage, MIDIPropertyKeyType::string},
        {"somethingElse", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MIDIPropertyKeyTypeOf(c.key), c.type) << c.key;
}

}  // namespace
