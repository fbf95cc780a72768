// Host and surface on the real timers, with timer ticks running beside incoming MIDI and beside
// changes of handlers, timeouts and banks from other threads. Each side's input is serialised
// as a port would deliver it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "hui/host.hpp"
#include "hui/surface.hpp"

namespace {

using namespace hui;
using namespace std::chrono_literals;
using midicore::MIDIEvent;
using midicore::UInt14;
using midicore::UInt4;

TEST(HUIRolesThreaded, TimerTicksBesideIncomingMIDI) {
    std::mutex surfaceInput, bankInput;
    HUISurface* surfacePort = nullptr;
    std::atomic<int> bankEvents{0}, notifications{0}, presenceChanges{0};

    auto host = std::make_unique<HUIHost>();
    auto bank = host->addBank([&](const HUISurfaceEvent&) { ++bankEvents; },
                              [&](const std::vector<MIDIEvent>& events) {
                                  std::lock_guard lock(surfaceInput);
                                  if (surfacePort) surfacePort->midiIn(events);
                              },
                              [&](bool) { ++presenceChanges; });
    const auto toBank = [&](const std::vector<MIDIEvent>& events) {
        std::lock_guard lock(bankInput);
        bank->midiIn(events);
    };
    auto surface = std::make_unique<HUISurface>(
        true, [&](const HUISurfaceModelNotification&) { ++notifications; }, toBank);
    {
        std::lock_guard lock(surfaceInput);
        surfacePort = surface.get();
    }

    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {  // the host sends displays and faders
        for (unsigned i = 0; !stop; ++i) {
            std::lock_guard lock(surfaceInput);
            surface->midiIn(HUIHostEvent::faderLevel(UInt4(i % 8), UInt14(i % 16384)).encode());
            surface->midiIn(HUIHostEvent::ping().encode());
        }
    });
    threads.emplace_back([&] {  // the surface's own controls
        for (unsigned i = 0; !stop; ++i) {
            surface->transmitFader(UInt14(i % 16384), UInt4(i % 8));
            surface->transmitJogWheel(midicore::Int7(1));
            (void)surface->model();
            (void)bank->isRemotePresent();
            (void)surface->isRemotePresent();
        }
    });
    threads.emplace_back([&] {  // clients reconfigure meanwhile
        for (unsigned i = 0; !stop; ++i) {
            bank->setRemotePresenceTimeout(1.1 + (i % 3));
            surface->setRemotePresenceTimeout(1.1 + (i % 2));
            surface->setAlwaysNotify(i % 2 == 0);
            bank->setRemotePresenceChangedHandler([&](bool) { ++presenceChanges; });
            auto extra = host->addBank();
            host->removeBank(1);
            std::this_thread::sleep_for(1ms);
        }
    });
    std::this_thread::sleep_for(300ms);
    stop = true;
    for (auto& t : threads)
        t.join();

    host.reset();
    {
        std::lock_guard lock(surfaceInput);
        surfacePort = nullptr;
    }
    surface.reset();
    dispatch::Queue::main()->drain();
    EXPECT_GT(bankEvents.load(), 0);
    EXPECT_GT(notifications.load(), 0);
    EXPECT_GT(presenceChanges.load(), 0);
}

// A role deleted on one thread while its presence handler, reporting absence, runs on the timer's
// queue and reads the role through its plain address: the delete waits for the handler, which
// finds the whole role (its members go only after the handler has returned).
TEST(HUIRolesThreaded, DeleteWaitsForARunningPresenceHandler) {
    struct Case {
        const char* name;
        bool surface;  // else a host bank
    };
    for (const Case c : {Case{"host bank", false}, Case{"surface", true}}) {
        SCOPED_TRACE(c.name);
        auto clock = dispatch::TimerService::makeManual();
        const HUIRoleEnvironment environment{
            dispatch::Queue::makeSerial("hui.test.timer", dispatch::QoS::default_), clock,
            dispatch::Queue::makeSerial("hui.test.notices", dispatch::QoS::default_)};

        // Held by the role's event or notification handler: tells when the role's members go.
        struct Members {
            std::mutex mutex;
            std::condition_variable changed;
            bool gone = false;
            bool waitUntilGone(std::chrono::milliseconds atMost) {
                std::unique_lock lock(mutex);
                return changed.wait_for(lock, atMost, [&] { return gone; });
            }
        };
        struct Goodbye {
            Members& members;
            ~Goodbye() {
                std::lock_guard lock(members.mutex);
                members.gone = true;
                members.changed.notify_all();
            }
        };
        Members members;
        std::shared_ptr<Goodbye> goodbye(new Goodbye{members});

        std::promise<void> entered, deleting;
        auto deletingStarted = deleting.get_future().share();
        HUISurface* surface = nullptr;
        HUIHostBank* bank = nullptr;
        bool sawStripMuted = false, sawEventHandler = false, goneWhileRunning = true;
        const auto presence = [&](bool present) {
            if (present) return;
            entered.set_value();
            deletingStarted.wait();
            // Gives a delete that does not wait for this handler time to tear the role down.
            if (members.waitUntilGone(200ms)) std::this_thread::sleep_for(50ms);
            if (surface) sawStripMuted = surface->model().channelStrips()[2].mute;
            if (bank) sawEventHandler = static_cast<bool>(bank->huiEventHandler());
            std::lock_guard lock(members.mutex);
            goneWhileRunning = members.gone;
        };
        if (c.surface) {
            surface = new HUISurface(
                false, [goodbye](const HUISurfaceModelNotification&) {}, nullptr, environment);
            surface->setRemotePresenceChangedHandler(presence);
            surface->midiIn(
                HUIHostEvent::switch_(
                    HUISwitch::channelStrip(UInt4(2), HUISwitch::ChannelStrip::mute), true)
                    .encode());
            surface->midiIn(HUIHostEvent::ping().encode());
        } else {
            bank = new HUIHostBank([goodbye](const HUISurfaceEvent&) {}, nullptr, presence,
                                   environment);
            bank->midiIn(HUISurfaceEvent::ping().encode());
        }
        goodbye.reset();

        clock->advance(3s);  // absent: the handler starts on the timer's queue
        ASSERT_EQ(entered.get_future().wait_for(60s), std::future_status::ready);
        deleting.set_value();
        delete surface;
        delete bank;
        EXPECT_FALSE(goneWhileRunning);
        EXPECT_TRUE(members.waitUntilGone(0ms));
        EXPECT_EQ(sawStripMuted, c.surface);
        EXPECT_EQ(sawEventHandler, !c.surface);
    }
}

}  // namespace
