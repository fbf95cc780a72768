// Start, Stop and the note relay against a fake headset on the loopback interface.
#include <condition_variable>

#include <gtest/gtest.h>

#include "harness.hpp"

namespace companion::testing {
namespace {

using midicore::ChanVoice7Bit16BitValue;
using midicore::MIDIEvent;
using midicore::MIDINote;
using midicore::UInt4;
using midicore::UInt7;
using Bytes = std::vector<uint8_t>;

MIDIEvent noteOn(int note, int velocity, int channel = 0) {
    return MIDIEvent::noteOn(MIDINote(UInt7(note)), ChanVoice7Bit16BitValue::midi1(UInt7(velocity)),
                             MIDIEvent::NoteAttribute::none(), UInt4(channel));
}
MIDIEvent noteOff(int note, int velocity, int channel = 0) {
    return MIDIEvent::noteOff(MIDINote(UInt7(note)),
                              ChanVoice7Bit16BitValue::midi1(UInt7(velocity)),
                              MIDIEvent::NoteAttribute::none(), UInt4(channel));
}

TEST(Relay, NotesBecomeOneDatagramEachAndTheIndicatorFollowsTheLastNote) {
    struct Step {
        MIDIEvent event;
        std::optional<Bytes> datagram;  // none: nothing is sent
        bool indicator;
    };
    const Step steps[] = {
        {noteOn(60, 100), Bytes{0x90, 0x3C, 0x64}, true},
        {MIDIEvent::cc(UInt7(7), midicore::ChanVoice7Bit32BitValue::midi1(UInt7(100))),
         std::nullopt, true},
        {noteOn(64, 90, 15), Bytes{0x9F, 0x40, 0x5A}, true},
        {noteOff(64, 0, 15), Bytes{0x8F, 0x40, 0x00}, false},  // one of two keys released
        {noteOn(67, 1), Bytes{0x90, 0x43, 0x01}, true},
        {noteOn(60, 0), Bytes{0x80, 0x3C, 0x00}, false},  // velocity 0 is a Note Off
        {MIDIEvent::timingClock(UInt4(0)), std::nullopt, false},
        {noteOff(127, 127), Bytes{0x80, 0x7F, 0x7F}, false},
    };
    Harness h;
    h.controller->start();
    std::vector<Bytes> expected;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.event.description());
        h.controller->handleMidiEvent(step.event);
        if (step.datagram) expected.push_back(*step.datagram);
        EXPECT_EQ(h.controller->isMidiEventActive.get(), step.indicator);
    }
    ASSERT_TRUE(h.headset->waitForDatagrams(expected.size(), 5s));
    std::vector<Bytes> received;
    for (const auto& d : h.headset->datagrams())
        received.push_back(d.bytes);
    EXPECT_EQ(received, expected);
    EXPECT_TRUE(h.printedLine("144 60"));
}

TEST(Start, RefusesAnAddressThatIsNeitherAnIpLiteralNorAHostName) {
    for (const char* address : {"", "192.168.0.256", "1.2.3.4.5", "head set", "::1::2", "a..b"}) {
        SCOPED_TRACE(address);
        Harness h;
        h.controller->ipAddress = address;
        h.controller->start();
        EXPECT_FALSE(h.controller->isRunning.get());
        ASSERT_EQ(h.controller->outputText().size(), 1u);
        EXPECT_EQ(h.controller->outputText()[0].color, LogColor::red);
        EXPECT_EQ(h.controller->outputText()[0].text.rfind("Invalid headset address: ", 0), 0u);
    }
}

TEST(Start, BlanksAroundTheAddressAreIgnored) {
    for (const char* address : {"127.0.0.1 ", " \t127.0.0.1\n", "  ::ffff:127.0.0.1\r\n"}) {
        SCOPED_TRACE(address);
        Harness h;
        h.controller->ipAddress = address;
        h.controller->start();
        ASSERT_TRUE(h.controller->isRunning.get());
        EXPECT_EQ(h.controller->outputText().back(), (LogLine{"Server started", LogColor::white}));
        h.controller->handleMidiEvent(noteOn(60, 100));
        ASSERT_TRUE(h.headset->waitForDatagrams(1, 5s));
        EXPECT_EQ(h.headset->datagrams()[0].bytes, (Bytes{0x90, 0x3C, 0x64}));
    }
}

TEST(Start, AHostNameIsLookedUpWithoutHoldingTheMainQueueAndTheOutcomeIsLoggedWhenKnown) {
    struct Case {
        const char* name;
        std::optional<net::IpAddress> answer;  // none: the lookup fails
        bool stopFirst;                        // Stop while the lookup is under way
        std::vector<LogLine> log;
    } cases[] = {
        {"resolved", net::IpAddress::loopbackV4(), false, {{"Server started", LogColor::white}}},
        {"no answer",
         std::nullopt,
         false,
         {{"Invalid headset address: no answer within 5 s", LogColor::red}}},
        {"stopped first",
         net::IpAddress::loopbackV4(),
         true,
         {{"Server stopped", LogColor::white}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HeldLookup lookup;
        CompanionOptions options;
        options.lookUpHost = lookup.standIn();
        Harness h({}, options);
        h.controller->ipAddress = " headset.local ";
        // The window's thread is free at once: a task queued for it before Start runs within
        // 50 ms, although the lookup never ends by itself.
        const auto queued = std::chrono::steady_clock::now();
        std::chrono::steady_clock::time_point ran{};
        dispatch::Queue::main()->async([&] { ran = std::chrono::steady_clock::now(); });
        h.controller->start();
        ASSERT_TRUE(h.until([&] { return ran != std::chrono::steady_clock::time_point{}; }));
        EXPECT_LT(ran - queued, 50ms);

        EXPECT_TRUE(h.controller->isStarting.get());
        EXPECT_FALSE(h.controller->isRunning.get());
        EXPECT_TRUE(h.controller->outputText().empty());
        h.controller->start();  // pressed again meanwhile: nothing more happens
        ASSERT_EQ(lookup.count(), 1u);
        EXPECT_EQ(lookup.asked[0].first, "headset.local");

        if (c.stopFirst) h.controller->stop();
        lookup.answer(c.answer, c.answer ? "" : "no answer within 5 s");
        ASSERT_TRUE(h.until([&] { return !h.controller->isStarting.get(); }));
        h.until([&] { return h.controller->outputText().size() >= c.log.size(); });
        EXPECT_EQ(h.controller->outputText(), c.log);
        const bool runs = c.answer && !c.stopFirst;
        EXPECT_EQ(h.controller->isRunning.get(), runs);
        if (runs) {
            h.controller->handleMidiEvent(noteOn(60, 100));
            ASSERT_TRUE(h.headset->waitForDatagrams(1, 5s));
        }
        EXPECT_EQ(h.offMainCalls, 0);
    }
}

TEST(Start, AHostNameGoesThroughTheSystemResolver) {
    Harness h;
    h.controller->ipAddress = " localhost\t";
    h.controller->start();
    ASSERT_TRUE(h.until([&] { return !h.controller->outputText().empty(); }));
    EXPECT_EQ(h.controller->outputText().back(), (LogLine{"Server started", LogColor::white}));
    EXPECT_TRUE(h.controller->isRunning.get());
}

// A blocking resolver in place of the system one: "ready.example" is 127.0.0.1 at once, and any
// other name gets no answer until the resolver is released (at the latest when it goes).
class SilentResolver {
  public:
    ~SilentResolver() { release(); }

    net::BlockingResolver blocking() const {
        return [state = state_](const std::string& name) -> net::HostResolution {
            if (name == "ready.example") return {net::IpAddress::loopbackV4(), {}};
            std::unique_lock lock(state->mutex);
            ++state->held;
            state->releasedChanged.wait(lock, [&] { return state->released; });
            return {std::nullopt, "released"};
        };
    }
    // How many calls have been held so far.
    size_t held() const {
        std::lock_guard lock(state_->mutex);
        return state_->held;
    }
    void release() {
        {
            std::lock_guard lock(state_->mutex);
            state_->released = true;
        }
        state_->releasedChanged.notify_all();
    }

  private:
    struct State {
        std::mutex mutex;
        std::condition_variable releasedChanged;
        bool released = false;
        size_t held = 0;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

TEST(Start, ANameNeverAnsweredHoldsUpNoLaterStartAndPressingAgainKeepsTheResolverThreadsBounded) {
    SilentResolver resolver;
    auto completed = std::make_shared<std::atomic<int>>(0);
    CompanionOptions options;
    options.lookupTimeout = 300ms;
    options.lookUpHost = [blocking = resolver.blocking(), completed](
                             const std::string& name, std::chrono::milliseconds timeout,
                             net::LookupCompletion completion) {
        net::lookUpHost(name, timeout, blocking,
                        [completion, completed](std::optional<net::IpAddress> address,
                                                const std::string& error) {
                            completion(address, error);
                            ++*completed;
                        });
    };
    Harness h({}, options);
    ASSERT_TRUE(h.until([] { return net::resolutionsInFlight() == 0; }));

    h.controller->ipAddress = "silent.example";
    h.controller->start();
    ASSERT_TRUE(h.until([&] { return !h.controller->isStarting.get(); }));
    EXPECT_EQ(h.controller->outputText(),
              (std::vector<LogLine>{{"Invalid headset address: the host name \"silent.example\" "
                                     "cannot be resolved: no answer within 0.3 s",
                                     LogColor::red}}));

    // The first resolver still waits; the next Start's lookup does not wait behind it.
    h.controller->ipAddress = "ready.example";
    const auto pressed = std::chrono::steady_clock::now();
    h.controller->start();
    ASSERT_TRUE(h.until([&] { return h.controller->isRunning.get(); }));
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, 100ms);
    h.controller->stop();

    // Start and Stop pressed again and again: each Start's lookup gets a resolver thread while
    // fewer than the most are busy, and otherwise waits for one until its time is up.
    h.controller->ipAddress = "silent.example";
    size_t most = 0;
    for (int press = 0; press < 50; ++press) {
        h.controller->start();
        h.controller->stop();
        net::runOnNetworkThread([] {});  // the lookup has a thread or waits for one by now
        const size_t inFlight = net::resolutionsInFlight();
        EXPECT_LE(inFlight, net::maximumResolutionsInFlight) << "press " << press;
        most = std::max(most, inFlight);
    }
    EXPECT_EQ(most, net::maximumResolutionsInFlight);
    // Every lookup ends at its time limit; those that waited never reached the resolver.
    ASSERT_TRUE(h.until([&] { return completed->load() == 52; }));
    EXPECT_EQ(resolver.held(), net::maximumResolutionsInFlight);
    EXPECT_EQ(net::resolutionsInFlight(), net::maximumResolutionsInFlight);

    // Released, the resolvers return and their threads end.
    resolver.release();
    EXPECT_TRUE(h.until([] { return net::resolutionsInFlight() == 0; }));
    EXPECT_EQ(resolver.held(), net::maximumResolutionsInFlight);
}

TEST(Relay, ArmedReceivesStayBoundedWhenTheHeadsetNeverRepliesAndAReplyIsStillLogged) {
    Harness h;
    h.controller->start();
    for (int i = 0; i < 10000; ++i)
        h.controller->handleMidiEvent(i % 2 ? noteOff(60, 0) : noteOn(60, 100));
    // Every send and its completion have run on the network thread once two tasks queued there
    // one after the other have run.
    for (int i = 0; i < 3; ++i)
        net::runOnNetworkThread([] {});
    EXPECT_LE(h.controller->armedReceives(), CompanionController::maximumArmedReceives);
    EXPECT_GE(h.controller->armedReceives(), 1u);

    ASSERT_TRUE(h.headset->waitForDatagrams(1, 5s));
    ASSERT_TRUE(h.headset->reply({'p', 'o', 'n', 'g'}));
    const LogLine reply{"Received message: pong", LogColor::white};
    ASSERT_TRUE(h.until([&] {
        const auto& log = h.controller->outputText();
        return std::find(log.begin(), log.end(), reply) != log.end();
    }));
    h.controller->stop();
    ASSERT_TRUE(h.until([&] { return h.controller->armedReceives() == 0; }));
}

struct FakeMidiInput : MidiInput {
    explicit FakeMidiInput(int& removals) : removals(removals) {}
    void removeAll() override { ++removals; }
    int& removals;
};

TEST(Start, WithoutMidiTheLinkStartsAndStopAlwaysReturnsToIdle) {
    Harness h;  // no MIDI input factory
    for (int round = 0; round < 2; ++round) {
        h.controller->start();
        EXPECT_TRUE(h.controller->isRunning.get());
        EXPECT_EQ(h.controller->midiErrorText.get(), "Could not connect to MIDI device");
        EXPECT_EQ(h.controller->outputText().back(), (LogLine{"Server started", LogColor::white}));
        h.controller->sendUploadCall();
        h.controller->stop();
        EXPECT_FALSE(h.controller->isRunning.get());
        EXPECT_EQ(h.controller->outputText().back(), (LogLine{"Server stopped", LogColor::white}));
    }
    ASSERT_TRUE(h.headset->waitForDatagrams(2, 5s));
    EXPECT_EQ(h.headset->datagrams()[1].bytes, (Bytes{0xFE, 0x00}));
}

TEST(Start, TheMidiInputDeliversToTheRelayAndStopRemovesItsObjects) {
    int removals = 0;
    MidiEventHandler deliver;
    CompanionOptions options;
    options.makeMidiInput = [&](MidiEventHandler handler) {
        deliver = std::move(handler);
        return std::make_unique<FakeMidiInput>(removals);
    };
    Harness h({}, options);
    h.controller->start();
    EXPECT_EQ(h.controller->midiErrorText.get(), "");
    ASSERT_TRUE(deliver);
    deliver(noteOn(60, 100));
    EXPECT_TRUE(h.controller->isMidiEventActive.get());
    h.controller->stop();
    EXPECT_EQ(removals, 1);
    EXPECT_FALSE(h.controller->isMidiEventActive.get());  // Stop turns the indicator off
    ASSERT_TRUE(h.headset->waitForDatagrams(1, 5s));
    EXPECT_EQ(h.headset->datagrams()[0].bytes, (Bytes{0x90, 0x3C, 0x64}));
}

}  // namespace
}  // namespace companion::testing
