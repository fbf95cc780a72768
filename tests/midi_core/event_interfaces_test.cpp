#include "midi_core/event_interfaces.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace midicore {
namespace {

struct Recorder : ReceivesMIDIEvents {
    using ReceivesMIDIEvents::midiIn;
    void midiIn(const MIDIEvent& event) override { received.push_back(event); }
    std::vector<MIDIEvent> received;
};

struct Sender : SendsMIDIEvents {};

TEST(EventInterfacesTest, ReceiverTakesABatchInOrder) {
    const std::vector<MIDIEvent> batch{MIDIEvent::start(), MIDIEvent::timingClock(UInt4(1)),
                                       MIDIEvent::stop(UInt4(2))};
    Recorder recorder;
    recorder.midiIn(batch);
    EXPECT_EQ(recorder.received, batch);
    recorder.midiIn(std::vector<MIDIEvent>{});
    EXPECT_EQ(recorder.received.size(), 3u);
}

TEST(EventInterfacesTest, SenderCallsTheHandlerOncePerSend) {
    Sender sender;
    sender.midiOut(MIDIEvent::start());  // no handler: nothing happens
    std::vector<std::vector<MIDIEvent>> calls;
    sender.setMIDIOutHandler([&](const std::vector<MIDIEvent>& events) { calls.push_back(events); });
    sender.midiOut(MIDIEvent::start());
    sender.midiOut(std::vector<MIDIEvent>{});
    const std::vector<MIDIEvent> two{MIDIEvent::stop(), MIDIEvent::continue_()};
    sender.midiOut(two);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], std::vector<MIDIEvent>{MIDIEvent::start()});
    EXPECT_TRUE(calls[1].empty());
    EXPECT_EQ(calls[2], two);

    sender.setMIDIOutHandler(nullptr);
    EXPECT_FALSE(sender.midiOutHandler());
    sender.midiOut(MIDIEvent::start());
    EXPECT_EQ(calls.size(), 3u);
}

TEST(EventInterfacesTest, HandlerRunsOutsideTheLock) {
    // A handler that replaces itself and sends again would deadlock if it ran under the lock.
    Sender sender;
    int first = 0;
    int second = 0;
    sender.setMIDIOutHandler([&](const std::vector<MIDIEvent>&) {
        ++first;
        sender.setMIDIOutHandler([&](const std::vector<MIDIEvent>&) { ++second; });
        sender.midiOut(MIDIEvent::stop());
    });
    sender.midiOut(MIDIEvent::start());
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
}

TEST(EventInterfacesTest, HandlerSetAndUsedFromDifferentThreads) {
    Sender sender;
    std::atomic<int> delivered{0};
    std::atomic<bool> done{false};
    std::thread owner([&] {
        for (int i = 0; i < 2000; ++i) {
            if (i % 2 == 0) {
                sender.setMIDIOutHandler(
                    [&, payload = std::vector<int>(16, i)](const std::vector<MIDIEvent>& events) {
                        delivered += static_cast<int>(events.size()) + payload[0] * 0;
                    });
            } else {
                sender.setMIDIOutHandler(nullptr);
            }
        }
        done = true;
    });
    int sends = 0;
    while (!done) {
        sender.midiOut(MIDIEvent::timingClock());
        ++sends;
    }
    owner.join();
    EXPECT_LE(delivered.load(), sends);
}

}  // namespace
}  // namespace midicore
