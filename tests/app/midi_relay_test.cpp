// The note relay from a simulated keyboard through the MIDI reader to a fake headset.
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/midi_reader.hpp"
#include "harness.hpp"
#include "midi_io/input.hpp"
#include "midiservices/test_driver.hpp"

namespace companion::testing {
namespace {

namespace td = midiservices::testdriver;
using Bytes = std::vector<uint8_t>;

midiservices::MIDIDriverDeviceDescription keyboard(const std::string& name) {
    return {name, "Keys", "Maker", midiservices::MIDIProtocolID::midi1_0, {{"E", {name}, {}}}};
}

struct RelayBench {
    td::SimulatedSystem system;
    std::string defaultsFile = "/tmp/app_midi_relay_" + std::to_string(::getpid());
    std::shared_ptr<midiio::KeyValueStore> defaults =
        std::make_shared<midiio::KeyValueStore>(defaultsFile);
    MidiReader* reader = nullptr;
    std::unique_ptr<Harness> h;

    RelayBench() {
        CompanionOptions options;
        options.makeMidiInput = [this](MidiEventHandler onEvent) -> std::unique_ptr<MidiInput> {
            auto made = std::make_unique<MidiReader>(std::move(onEvent), defaults);
            reader = made.get();
            return made;
        };
        h = std::make_unique<Harness>(FakeHeadset::Options{}, options);
    }
    ~RelayBench() {
        h.reset();
        std::filesystem::remove(defaultsFile);
    }
    // Waits until the services and the reader's manager have handled everything so far.
    void settle() {
        system.drain();
        reader->midiManager()->eventQueue()->sync([] {});
        system.drain();
    }
    std::vector<Bytes> awaitDatagrams(size_t count) {
        h->until([&] { return h->headset->datagrams().size() >= count; });
        std::vector<Bytes> out;
        for (const auto& d : h->headset->datagrams())
            out.push_back(d.bytes);
        return out;
    }
    std::optional<int32_t> virtualInputID() const {
        const auto inputs = reader->midiManager()->managedInputs();
        const auto found = inputs.find(MidiReader::inputTag);
        return found == inputs.end() ? std::nullopt : found->second->uniqueID();
    }
};

TEST(MidiRelay, AKeyboardsNotesReachTheHeadsetAsTheirThreeBytes) {
    RelayBench bench;
    const auto keys = bench.system.plug(keyboard("Keys"));
    bench.h->controller->start();
    ASSERT_NE(bench.reader, nullptr);
    bench.settle();

    struct Step {
        Bytes played;                  // one packet
        std::vector<Bytes> datagrams;  // what the headset gets
        bool indicator;
    } steps[] = {
        {{0x90, 0x3C, 0x64}, {{0x90, 0x3C, 0x64}}, true},
        {{0xB0, 0x07, 0x64}, {}, true},                     // a Control Change sends nothing
        {{0x90, 0x3C, 0x00}, {{0x80, 0x3C, 0x00}}, false},  // velocity 0 is a Note Off
        {{0x90, 0x40, 0x50, 0x90, 0x43, 0x51, 0x80, 0x40, 0x00},
         {{0x90, 0x40, 0x50}, {0x90, 0x43, 0x51}, {0x80, 0x40, 0x00}},
         false},  // three notes in one packet, in order
    };
    std::vector<Bytes> expected;
    for (const auto& step : steps) {
        ASSERT_EQ(bench.system.play(keys.source(0), step.played), 0);
        expected.insert(expected.end(), step.datagrams.begin(), step.datagrams.end());
        bench.settle();
        bench.h->until([&] { return bench.h->headset->datagrams().size() >= expected.size(); });
        // Everything posted for this packet has run once the main queue is empty.
        dispatch::Queue::main()->drain();
        EXPECT_EQ(bench.h->controller->isMidiEventActive.get(), step.indicator);
    }
    EXPECT_EQ(bench.awaitDatagrams(expected.size()), expected);
}

TEST(MidiRelay, ASourcePluggedInAfterStartIsRelayed) {
    RelayBench bench;
    bench.h->controller->start();
    bench.settle();
    const auto late = bench.system.plug(keyboard("Late"));
    bench.settle();
    ASSERT_EQ(bench.system.play(late.source(0), {0x91, 0x30, 0x40}), 0);
    EXPECT_EQ(bench.awaitDatagrams(1), (std::vector<Bytes>{{0x91, 0x30, 0x40}}));
}

// Notes and replies still queued for the main thread when Stop comes change nothing afterwards:
// the indicator stays off, nothing goes to the headset, and the log ends with "Server stopped".
TEST(MidiRelay, WhatIsStillQueuedWhenStopComesChangesNothing) {
    struct Case {
        const char* name;
        bool reply;       // a headset reply is on its way rather than a note
        bool startAgain;  // Start follows Stop before the queue is pumped
    } cases[] = {
        {"a note", false, false},
        {"a note, then Start again", false, true},
        {"a reply", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RelayBench bench;
        auto& controller = *bench.h->controller;
        const auto keys = bench.system.plug(keyboard("Keys"));
        controller.start();
        bench.settle();
        size_t sent = 0;
        if (c.reply) {
            // One note relayed, and the headset's reply to it taken off the link: its log line is
            // queued for the main thread once no receive is armed any more.
            ASSERT_EQ(bench.system.play(keys.source(0), {0x90, 0x3C, 0x64}), 0);
            sent = bench.awaitDatagrams(1).size();
            ASSERT_TRUE(bench.h->headset->reply({'o', 'k'}));
            const auto deadline = std::chrono::steady_clock::now() + 5s;
            while (controller.armedReceives() != 0 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(1ms);
            ASSERT_EQ(controller.armedReceives(), 0u);
        } else {
            // Handed to the main queue, not yet run.
            for (uint8_t note = 60; note < 64; ++note)
                ASSERT_EQ(bench.system.play(keys.source(0), {0x90, note, 0x64}), 0);
            bench.settle();
        }
        controller.stop();
        if (c.startAgain) controller.start();
        dispatch::Queue::main()->drain();
        EXPECT_FALSE(controller.isMidiEventActive.get());
        const auto& log = controller.outputText();
        EXPECT_EQ(log.back().text, c.startAgain ? "Server started" : "Server stopped");
        EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                [](const LogLine& l) { return l.text.rfind("Received", 0) == 0; }),
                  0);
        // Given time to arrive, nothing more reached the headset.
        bench.h->headset->waitForDatagrams(sent + 1, 300ms);
        EXPECT_EQ(bench.h->headset->datagrams().size(), sent);
    }
}

TEST(MidiRelay, TheVirtualInputKeepsItsUniqueIdAcrossStopAndStart) {
    RelayBench bench;
    bench.h->controller->start();
    const auto first = bench.virtualInputID();
    ASSERT_TRUE(first.has_value());
    bench.h->controller->stop();
    EXPECT_FALSE(bench.virtualInputID().has_value());
    bench.h->controller->start();
    EXPECT_EQ(bench.virtualInputID(), first);
    EXPECT_EQ(bench.defaults->integer(MidiReader::inputTag), *first);
}

}  // namespace
}  // namespace companion::testing
