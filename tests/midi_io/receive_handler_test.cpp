// The receive strategies: batching per record, note translation by interface, the texts of the
// logging strategies, groups, receivers held weakly or strongly, and parser state kept per source.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "event_helpers.hpp"
#include "midi_io/receive_handler.hpp"

namespace midiio {
namespace {

using midicore::ChanVoice7Bit16BitValue;
using midicore::MIDIEvent;
using midicore::MIDIProtocolVersion;
using midicore::UInt4;
using midicore::UInt7;
using namespace midiio::testing;

const MIDIOutputEndpoint keys("Keys", 1001, 11, "Maker Keys");
const MIDIOutputEndpoint pads("Pads", 1002, 12, "Maker Pads");

MIDIPacketData packet(Bytes bytes, std::optional<MIDIOutputEndpoint> source = std::nullopt,
                      uint64_t timeStamp = 0) {
    return MIDIPacketData(std::move(bytes), timeStamp, std::move(source));
}

// Collects what an events strategy delivers, one batch per call.
struct Batches {
    std::vector<Events> batches;
    MIDIReceiver receiver(bool translate = true) {
        return MIDIReceiver::events(translate, [this](const Events& e) { batches.push_back(e); });
    }
};

TEST(ReceiveHandler, DeliversOneBatchPerPacketThatYieldsEvents) {
    Batches got;
    auto handler = got.receiver().makeReceiveHandler();
    handler->packetListReceived({packet({0x90, 0x3C, 0x64, 0x3E, 0x50}), packet({0x90, 0x3C}),
                                 packet({0xF8, 0x80, 0x3C, 0x00})});
    ASSERT_EQ(got.batches.size(), 2u);
    EXPECT_EQ(got.batches[0], (Events{on(60, 100), on(62, 80)}));
    EXPECT_EQ(got.batches[1].size(), 2u);
    handler->packetListReceived({});
    handler->eventListReceived({}, MIDIProtocolVersion::_2_0);
    EXPECT_EQ(got.batches.size(), 2u);
}

TEST(ReceiveHandler, TranslatesZeroVelocityOnlyForMIDI1Bytes) {
    Batches got;
    auto handler = got.receiver(true).makeReceiveHandler();
    handler->packetListReceived({packet({0x90, 0x40, 0x00})});
    handler->eventListReceived({UniversalMIDIPacketData({0x20, 0x90, 0x40, 0x00}, 0, std::nullopt)},
                               MIDIProtocolVersion::_1_0);
    ASSERT_EQ(got.batches.size(), 2u);
    EXPECT_EQ(got.batches[0], Events{off(0x40, 0)});
    EXPECT_EQ(got.batches[1], Events{on(0x40, 0)});
}

TEST(ReceiveHandler, KeepsParserStatePerSource) {
    Batches got;
    auto handler = got.receiver().makeReceiveHandler();
    handler->packetListReceived({
        packet({0x91, 0x3C, 0x50}, keys),
        packet({0x3E, 0x50}, pads),              // no running status of its own: nothing
        packet({0xF0, 0x7D, 0x01}, pads),        // opens a System Exclusive message of pads
        packet({0x3E, 0x50}, keys),              // keys' running status
        packet({0x90, 0x3C, 0x64}, std::nullopt),
        packet({0x02, 0xF7}, pads),              // completes pads' message
    });
    EXPECT_EQ(got.batches,
              (std::vector<Events>{{on(60, 80, 1)}, {on(62, 80, 1)}, {on(60, 100)},
                                   {sysEx7(0x7D, {1, 2})}}));
    // UMP System Exclusive of two sources on one group stays apart as well.
    handler->eventListReceived(
        {UniversalMIDIPacketData({0x30, 0x12, 0x7D, 0x01, 0, 0, 0, 0}, 0, keys),
         UniversalMIDIPacketData({0x30, 0x32, 0x7C, 0x02, 0, 0, 0, 0}, 0, pads),
         UniversalMIDIPacketData({0x30, 0x31, 0x03, 0, 0, 0, 0, 0}, 0, keys)},
        MIDIProtocolVersion::_2_0);
    EXPECT_EQ(got.batches.back(),
              Events{sysEx7(0x7D, {1, 3})});
    EXPECT_EQ(got.batches.size(), 5u);
}

TEST(ReceiveHandler, PassesTimeStampAndSourceWithEvents) {
    std::vector<std::pair<uint64_t, std::optional<MIDIOutputEndpoint>>> got;
    auto handler = MIDIReceiver::eventsWithMetadata(true, [&](const Events& events, uint64_t t,
                                                              const std::optional<MIDIOutputEndpoint>& s) {
                       EXPECT_FALSE(events.empty());
                       got.emplace_back(t, s);
                   }).makeReceiveHandler();
    handler->packetListReceived({packet({0xF8}, keys, 5), packet({}, pads, 6), packet({0xFE}, std::nullopt, 7)});
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].first, 5u);
    EXPECT_EQ(got[0].second, keys);
    EXPECT_EQ(got[1].first, 7u);
    EXPECT_FALSE(got[1].second);
}

TEST(ReceiveHandler, LogsOneLinePerPacket) {
    const std::string note = on(60, 100).description();
    const struct {
        const char* name;
        bool raw;
        bool filter;
        MIDIPacketData packet;
        std::vector<std::string> lines;
    } cases[] = {
        {"events, filtered clock", false, true, packet({0xF8}, std::nullopt, 5), {" timeStamp:5"}},
        {"events, filtered clock, with source", false, true, packet({0xF8}, keys, 5),
         {" timeStamp:5 source:\"Maker Keys\""}},
        {"events, filtered sensing", false, true, packet({0x90, 0x3C, 0x64, 0xFE}, std::nullopt, 9),
         {note + " timeStamp:9"}},
        {"events, unfiltered", false, false, packet({0x90, 0x3C, 0x64, 0xFE}, std::nullopt, 9),
         {note + ", " + MIDIEvent::activeSensing().description() + " timeStamp:9"}},
        {"events, nothing parsed", false, false, packet({0x40}), {}},
        {"raw, packet led by a clock", true, true, packet({0xF8, 0x90, 0x3C, 0x64}), {}},
        {"raw, clock later", true, true, packet({0x90, 0x3C, 0x64, 0xF8}, keys, 3),
         {"90 3C 64 F8 timeStamp:3 source:\"Maker Keys\""}},
        {"raw, unfiltered", true, false, packet({0xFE, 0x0A}, std::nullopt, 1), {"FE 0A timeStamp:1"}},
        {"raw, empty packet", true, true, packet({}, std::nullopt, 2), {" timeStamp:2"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines;
        auto log = [&](const std::string& line) { lines.push_back(line); };
        auto receiver = c.raw ? MIDIReceiver::rawDataLogging(c.filter, log)
                              : MIDIReceiver::eventsLogging(c.filter, log);
        receiver.makeReceiveHandler()->packetListReceived({c.packet});
        EXPECT_EQ(lines, c.lines) << c.name;
        // Without a handler the lines are made and dropped.
        (c.raw ? MIDIReceiver::rawDataLogging(c.filter) : MIDIReceiver::eventsLogging(c.filter))
            .makeReceiveHandler()
            ->packetListReceived({c.packet});
    }
}

TEST(ReceiveHandler, PassesRawRecordsAndFeedsGroupsInOrder) {
    std::vector<std::string> order;
    std::vector<AnyMIDIPacket> raw;
    auto handler =
        MIDIReceiver::group({MIDIReceiver::events(true, [&](const Events&) { order.push_back("first"); }),
                             MIDIReceiver::rawData([&](const AnyMIDIPacket& p) { raw.push_back(p); }),
                             MIDIReceiver::events(true, [&](const Events&) { order.push_back("second"); })})
            .makeReceiveHandler();
    handler->packetListReceived({packet({0x90, 0x3C, 0x64}), packet({}, keys, 4)});
    handler->eventListReceived({UniversalMIDIPacketData::fromWords(std::vector<uint32_t>{0x10F80000}, 9, pads)},
                               MIDIProtocolVersion::_2_0);
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "first", "second"}));
    ASSERT_EQ(raw.size(), 3u);
    EXPECT_EQ(raw[1].packetCase(), AnyMIDIPacket::Case::packet);
    EXPECT_TRUE(raw[1].bytes().empty());
    EXPECT_EQ(raw[1].source(), keys);
    EXPECT_EQ(raw[2].packetCase(), AnyMIDIPacket::Case::universalPacket);
    EXPECT_EQ(raw[2].bytes(), (Bytes{0x10, 0xF8, 0x00, 0x00}));
    EXPECT_EQ(raw[2].timeStamp(), 9u);
}

struct Recorder : midicore::ReceivesMIDIEvents {
    using ReceivesMIDIEvents::midiIn;
    void midiIn(const MIDIEvent& event) override { events.push_back(event); }
    Events events;
};

TEST(ReceiveHandler, FeedsObjectsHeldStronglyOrWeakly) {
    auto weakObject = std::make_shared<Recorder>();
    auto strongObject = std::make_shared<Recorder>();
    std::weak_ptr<Recorder> strongWatch = strongObject;
    auto weak = MIDIReceiver::object(weakObject, MIDIReceiver::ReceiverRefStorage::weakly, false)
                    .makeReceiveHandler();
    auto strong = MIDIReceiver::object(strongObject, MIDIReceiver::ReceiverRefStorage::strongly, true)
                      .makeReceiveHandler();
    strongObject.reset();
    ASSERT_FALSE(strongWatch.expired());

    weak->packetListReceived({packet({0x90, 0x3C, 0x64, 0x3C, 0x00})});
    strong->packetListReceived({packet({0x90, 0x3C, 0x00})});
    EXPECT_EQ(weakObject->events, (Events{on(60, 100), on(60, 0)}));
    EXPECT_EQ(strongWatch.lock()->events,
              Events{off(60, 0)});

    weakObject.reset();
    weak->packetListReceived({packet({0x90, 0x3C, 0x64})});  // silently dropped
    strong.reset();
    EXPECT_TRUE(strongWatch.expired());
}

}  // namespace
}  // namespace midiio
