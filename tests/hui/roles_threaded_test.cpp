// Host and surface on the real timers, with timer ticks running beside incoming MIDI and beside
// changes of handlers, timeouts and banks from other threads. Each side's input is serialised
// as a port would deliver it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

}  // namespace
