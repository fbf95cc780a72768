#include "midi_core/event_filter.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace midicore {
namespace {

using E = MIDIEvent;
using CVT = E::ChanVoiceTypes;
using CV = E::ChanVoiceType;
using RT = E::SysRealTimeType;
using RTT = E::SysRealTimeTypes;
using Events = std::vector<MIDIEvent>;
using CC = E::CC::Controller;

const auto vel = ChanVoice7Bit16BitValue::midi1(UInt7(100));
const auto val = ChanVoice7Bit32BitValue::midi1(UInt7(1));

E noteOn(unsigned note, unsigned channel = 0, unsigned group = 0) {
    return E::noteOn(UInt7::truncating(note), vel, E::NoteAttribute::none(), UInt4::truncating(channel),
                     UInt4::truncating(group));
}
E noteOff(unsigned note) { return E::noteOff(UInt7::truncating(note), vel); }
E cc(CC controller) { return E::cc(controller, val); }
E sysEx(unsigned group = 0) {
    return E::sysEx7(E::SysExManufacturer::oneByte(UInt7(0x41)), std::vector<uint8_t>{}, UInt4::truncating(group));
}
E::NoteRange range(unsigned lower, unsigned upper) {
    return E::NoteRange(UInt7::truncating(lower), UInt7::truncating(upper));
}

TEST(EventFilterTest, ChannelVoiceSpecifications) {
    const E noteCC = E::noteCC(UInt7(60), E::NoteCC::PerNoteController::assignable(1),
                               ChanVoice32BitValue::midi2(0));
    const E notePressure60 = E::notePressure(UInt7(60), val);
    const E pitchBend = E::pitchBend(ChanVoice14Bit32BitValue::midi1(UInt14(0)));
    const struct {
        const char* what;
        CVT spec;
        Events input;
        Events expected;
    } cases[] = {
        {"only", CVT::only(), {noteOn(60), E::timingClock(), sysEx()}, {noteOn(60)}},
        {"drop", CVT::drop(), {noteOn(60), E::timingClock(), sysEx()}, {E::timingClock(), sysEx()}},
        {"onlyChannel", CVT::onlyChannel(UInt4(0)), {noteOn(60, 0), E::start()}, {noteOn(60, 0)}},
        {"keepChannel", CVT::keepChannel(UInt4(0)), {noteOn(60, 0), noteOn(60, 1), E::start()},
         {noteOn(60, 0), E::start()}},
        {"dropChannel", CVT::dropChannel(UInt4(0)), {noteOn(60, 0), noteOn(60, 1), E::start()},
         {noteOn(60, 1), E::start()}},
        {"onlyChannels, order and repeats do not count", CVT::onlyChannels({UInt4(2), UInt4(1), UInt4(2)}),
         {noteOn(1, 0), noteOn(2, 1), noteOn(3, 2), E::start()}, {noteOn(2, 1), noteOn(3, 2)}},
        {"keepCC", CVT::keepCC(CC::modWheel()), {cc(CC::modWheel()), cc(CC::volume()), noteOn(60)},
         {cc(CC::modWheel()), noteOn(60)}},
        {"onlyCC removes per-note controllers", CVT::onlyCC(UInt7(1)), {noteCC, cc(CC::modWheel())},
         {cc(CC::modWheel())}},
        {"dropCCs by number", CVT::dropCCs(std::vector<UInt7>{UInt7(7), UInt7(10)}),
         {cc(CC::modWheel()), cc(CC::volume()), cc(CC::pan()), pitchBend}, {cc(CC::modWheel()), pitchBend}},
        {"onlyNotesInRange, both bounds inside", CVT::onlyNotesInRange(range(60, 60)),
         {noteOn(60), noteOn(61), noteOff(60), notePressure60}, {noteOn(60), noteOff(60)}},
        {"onlyNotesInRanges", CVT::onlyNotesInRanges({range(60, 72), range(10, 10)}),
         {noteOn(59), noteOn(60), noteOn(72), noteOn(73), noteOff(10)}, {noteOn(60), noteOn(72), noteOff(10)}},
        {"dropNotesInRange everything", CVT::dropNotesInRange(range(0, 127)),
         {noteOn(0), noteOff(127), notePressure60, noteCC, E::start()}, {notePressure60, noteCC, E::start()}},
        {"keepNotesInRange", CVT::keepNotesInRange(range(60, 72)), {noteOn(59), notePressure60, noteOff(72)},
         {notePressure60, noteOff(72)}},
        {"keepTypes empty", CVT::keepTypes({}), {noteOn(60), cc(CC::volume()), sysEx(), E::noOp()},
         {sysEx(), E::noOp()}},
        {"onlyTypes empty", CVT::onlyTypes({}), {noteOn(60), sysEx()}, {}},
        {"dropTypes empty", CVT::dropTypes({}), {noteOn(60), sysEx()}, {noteOn(60), sysEx()}},
        {"keepCCs empty", CVT::keepCCs(std::vector<CC>{}), {cc(CC::volume()), noteOn(1)}, {noteOn(1)}},
        {"keepNotesInRanges empty", CVT::keepNotesInRanges({}), {noteOn(1), notePressure60}, {notePressure60}},
        {"onlyTypes", CVT::onlyTypes({CV::noteOff, CV::pitchBend}), {noteOn(1), noteOff(1), pitchBend, sysEx()},
         {noteOff(1), pitchBend}},
        {"dropType", CVT::dropType(CV::noteOn), {noteOn(1), noteOff(1), E::start()}, {noteOff(1), E::start()}},
        {"duplicates stay in place", CVT::keepType(CV::noteOn), {noteOn(1), noteOff(1), noteOn(1), noteOn(1)},
         {noteOn(1), noteOn(1), noteOn(1)}},
        {"empty input", CVT::only(), {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(filter(c.input, c.spec), c.expected);
        EXPECT_EQ(MIDIEventFilter::chanVoice(c.spec).apply(c.input), c.expected);
    }
}

TEST(EventFilterTest, OtherKindsAndGroups) {
    const Events mixed{E::timingClock(), noteOn(60), E::activeSensing(), E::start()};
    EXPECT_EQ(filter(mixed, RTT::dropTypes({RT::activeSensing, RT::timingClock})),
              (Events{noteOn(60), E::start()}));
    EXPECT_EQ(filter(mixed, RTT::onlyType(RT::start)), Events{E::start()});
    EXPECT_EQ(filter(mixed, RTT::keepType(RT::start)), (Events{noteOn(60), E::start()}));
    EXPECT_EQ(filter(mixed, RTT::only()), (Events{E::timingClock(), E::activeSensing(), E::start()}));
    EXPECT_EQ(filter(mixed, RTT::drop()), Events{noteOn(60)});
    EXPECT_EQ(filter(mixed, RTT::keepTypes({})), Events{noteOn(60)});
    EXPECT_EQ(filter(mixed, RTT::onlyTypes({})), Events{});
    const Events sysExes{sysEx(), E::sysEx8(E::SysExManufacturer::oneByte(UInt7(1)), {}), E::tuneRequest(),
                         E::jrClock(5)};
    EXPECT_EQ(filter(sysExes, E::SysExTypes::dropType(E::SysExType::sysEx8)),
              (Events{sysEx(), E::tuneRequest(), E::jrClock(5)}));
    EXPECT_EQ(filter(sysExes, E::SysCommonTypes::only()), Events{E::tuneRequest()});
    EXPECT_EQ(filter(sysExes, E::UtilityTypes::keepTypes({E::UtilityType::jrTimestamp})),
              (Events{sysExes[0], sysExes[1], sysExes[2]}));

    const Events grouped{sysEx(3), noteOn(60, 0, 3), E::noOp(UInt4(3)), E::start(UInt4(4))};
    EXPECT_EQ(filterGroup(grouped, UInt4(3)), (Events{grouped[0], grouped[1], grouped[2]}));
    EXPECT_EQ(filterDropGroup(grouped, UInt4(3)), Events{grouped[3]});
    EXPECT_EQ(filterGroups(grouped, std::vector<UInt4>{}), Events{});
    EXPECT_EQ(filterGroups(grouped, std::vector<UInt4>{UInt4(4), UInt4(9)}), Events{grouped[3]});
    EXPECT_EQ(filterDropGroups(grouped, std::vector<UInt4>{}), grouped);
    EXPECT_EQ(MIDIEventFilter::groups({UInt4(4)}).apply(grouped), Events{grouped[3]});
}

TEST(EventFilterTest, FilterGroupsApplyEveryFilterInAnyOrder) {
    const auto onlyChannel1 = MIDIEventFilter::chanVoice(CVT::onlyChannel(UInt4(1)));
    const auto dropRealTime = MIDIEventFilter::sysRealTime(RTT::drop());
    const Events input{noteOn(1, 1), E::timingClock(), noteOn(2, 0), sysEx(), noteOn(3, 1)};
    const Events expected{noteOn(1, 1), noteOn(3, 1)};
    EXPECT_EQ(MIDIEventFilterGroup({onlyChannel1, dropRealTime}).apply(input), expected);
    EXPECT_EQ(MIDIEventFilterGroup({dropRealTime, onlyChannel1}).apply(input), expected);
    EXPECT_EQ(MIDIEventFilterGroup().apply(input), input);
    EXPECT_EQ(MIDIEventFilterGroup().apply(Events{}), Events{});
    EXPECT_EQ(MIDIEventFilterGroup(dropRealTime).filters.size(), 1u);

    // Property: over random batches a group keeps exactly the events every filter passes, in
    // order, whatever the order of its filters.
    std::mt19937 random(4);
    const std::vector<MIDIEventFilter> filters{
        onlyChannel1, dropRealTime, MIDIEventFilter::group(UInt4(0)),
        MIDIEventFilter::chanVoice(CVT::keepNotesInRange(range(10, 90))),
        MIDIEventFilter::sysEx(E::SysExTypes::dropTypes({E::SysExType::sysEx7}))};
    for (int round = 0; round < 50; ++round) {
        Events batch;
        for (int i = 0; i < 40; ++i) {
            switch (random() % 4) {
                case 0: batch.push_back(noteOn(random() % 128, random() % 3, random() % 2)); break;
                case 1: batch.push_back(E::timingClock(UInt4::truncating(random() % 2))); break;
                case 2: batch.push_back(sysEx(random() % 2)); break;
                default: batch.push_back(E::pitchBend(ChanVoice14Bit32BitValue::midi1(UInt14(1)), UInt4(1))); break;
            }
        }
        std::vector<MIDIEventFilter> chosen = filters;
        std::shuffle(chosen.begin(), chosen.end(), random);
        chosen.erase(chosen.begin() + static_cast<std::ptrdiff_t>(1 + random() % chosen.size()), chosen.end());
        Events expectedKept;
        for (const E& e : batch) {
            bool all = true;
            for (const auto& f : chosen) all = all && f.apply(Events{e}).size() == 1;
            if (all) expectedKept.push_back(e);
        }
        const Events kept = MIDIEventFilterGroup(chosen).apply(batch);
        EXPECT_EQ(kept, expectedKept);
        std::reverse(chosen.begin(), chosen.end());
        EXPECT_EQ(MIDIEventFilterGroup(chosen).apply(batch), kept);
    }
}

TEST(EventFilterTest, KindAndTypeTests) {
    const E clock = E::timingClock();
    EXPECT_TRUE(clock.isSystemRealTime());
    EXPECT_TRUE(clock.isSystemRealTime(RT::timingClock));
    EXPECT_FALSE(clock.isSystemRealTime(RT::start));
    EXPECT_FALSE(clock.isSystemRealTime(E::TypeSet<RT>{}));
    EXPECT_TRUE(clock.isSystemRealTime(E::TypeSet<RT>{RT::stop, RT::timingClock}));
    EXPECT_FALSE(clock.isChannelVoice());
    EXPECT_TRUE(E::continue_().isSystemRealTime(RT::continue_));
    EXPECT_TRUE(E::nrpn(E::AssignableController::null()).isChannelVoice(CV::nrpn));
    EXPECT_TRUE(E::sysEx8(E::SysExManufacturer::oneByte(UInt7(1)), {}).isSystemExclusive(E::SysExType::sysEx8));
    EXPECT_TRUE(E::tuneRequest().isSystemCommon(E::SysCommonType::tuneRequest));
    EXPECT_TRUE(E::jrTimestamp(1).isUtility(E::UtilityType::jrTimestamp));
    EXPECT_FALSE(E::jrTimestamp(1).isUtility(E::UtilityType::jrClock));
}

TEST(EventFilterTest, SpecificationEqualityAndHashing) {
    // Sets compare as sets, lists in order; the case counts.
    EXPECT_EQ(CVT::onlyTypes({CV::noteOn, CV::cc}), CVT::onlyTypes({CV::cc, CV::noteOn}));
    EXPECT_EQ(CVT::onlyTypes({CV::noteOn, CV::cc}).hash(), CVT::onlyTypes({CV::cc, CV::noteOn}).hash());
    EXPECT_NE(CVT::onlyChannels({UInt4(1), UInt4(2)}), CVT::onlyChannels({UInt4(2), UInt4(1)}));
    EXPECT_NE(CVT::onlyType(CV::cc), CVT::keepType(CV::cc));
    EXPECT_NE(CVT::onlyType(CV::cc), CVT::onlyTypes({CV::cc}));
    EXPECT_EQ(CVT::onlyCCs(std::vector<UInt7>{UInt7(7)}), CVT::onlyCCs(std::vector<CC>{CC::volume()}));
    EXPECT_NE(RTT::only(), RTT::drop());
    EXPECT_THROW(range(61, 60), std::invalid_argument);

    const std::vector<MIDIEventFilter> distinct{
        MIDIEventFilter::chanVoice(CVT::only()), MIDIEventFilter::chanVoice(CVT::drop()),
        MIDIEventFilter::sysRealTime(RTT::only()), MIDIEventFilter::sysCommon(E::SysCommonTypes::only()),
        MIDIEventFilter::group(UInt4(1)), MIDIEventFilter::groups({UInt4(1)}),
        MIDIEventFilter::groups({})};
    std::unordered_set<MIDIEventFilter> set(distinct.begin(), distinct.end());
    EXPECT_EQ(set.size(), distinct.size());
    EXPECT_TRUE(set.contains(MIDIEventFilter::groups({UInt4(1)})));
    EXPECT_EQ(MIDIEventFilterGroup(distinct), MIDIEventFilterGroup(distinct));
    EXPECT_EQ(std::hash<MIDIEventFilterGroup>{}(MIDIEventFilterGroup(distinct)),
              std::hash<MIDIEventFilterGroup>{}(MIDIEventFilterGroup(distinct)));
}

}  // namespace
}  // namespace midicore
