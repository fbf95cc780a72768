// What the tests of the manager's endpoints and connections share: a simulated system, a store in
// a temporary folder, "other software" with a client of its own, and an inbox of received events.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "midi_core/midi_event.hpp"
#include "midi_io/manager.hpp"
#include "midi_support/packet_builders.hpp"
#include "midiservices/io.hpp"
#include "midiservices/test_driver.hpp"
#include "temp_folder.hpp"
#include "wait_for.hpp"

namespace midiiotest {

// Events received by a batch handler, with the thread checks the tests need.
class Inbox {
  public:
    explicit Inbox(std::shared_ptr<dispatch::Queue> queue = nullptr) : queue_(std::move(queue)) {}

    midiio::MIDIReceiver receiver() {
        return midiio::MIDIReceiver::events(true, [this](const std::vector<midicore::MIDIEvent>& e) {
            std::lock_guard lock(mutex_);
            if (queue_ && !queue_->isCurrent()) ++offQueue_;
            batches_.push_back(e);
        });
    }
    void expectQueue(std::shared_ptr<dispatch::Queue> queue) {
        std::lock_guard lock(mutex_);
        queue_ = std::move(queue);
    }
    std::vector<midicore::MIDIEvent> events() const {
        std::lock_guard lock(mutex_);
        std::vector<midicore::MIDIEvent> all;
        for (const auto& b : batches_) all.insert(all.end(), b.begin(), b.end());
        return all;
    }
    size_t batchCount() const {
        std::lock_guard lock(mutex_);
        return batches_.size();
    }
    int offQueue() const {
        std::lock_guard lock(mutex_);
        return offQueue_;
    }
    bool waitForEvents(size_t count) const {
        return testsupport::waitFor([&] { return events().size() >= count; });
    }

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<dispatch::Queue> queue_;
    std::vector<std::vector<midicore::MIDIEvent>> batches_;
    int offQueue_ = 0;
};

// Delivers everything the system holds and lets the manager's queue handle it; false when the
// system does not come to rest.
[[nodiscard]] inline bool settled(midiservices::testdriver::SimulatedSystem& system,
                                  const midiio::MIDIManager& manager) {
    if (!system.drain()) return false;
    manager.eventQueue()->sync([] {});
    return true;
}

// Another program on the computer: its own client and output port.
struct OtherSoftware {
    OtherSoftware() {
        EXPECT_EQ(midiservices::MIDIClientCreateWithBlock("other", &client, {}), midiservices::noErr);
        EXPECT_EQ(midiservices::MIDIOutputPortCreate(client, "out", &port), midiservices::noErr);
    }
    ~OtherSoftware() { midiservices::MIDIClientDispose(client); }
    // Sends one packet of MIDI 1.0 bytes to a destination.
    midiservices::OSStatus send(midiservices::MIDIEndpointRef destination,
                                const std::vector<uint8_t>& bytes) const {
        const auto list = midisupport::makePacketList(bytes);
        return midiservices::MIDISend(port, destination, list.list(), list.byteCount());
    }
    midiservices::MIDIClientRef client = 0;
    midiservices::MIDIPortRef port = 0;
};

inline midiservices::MIDIDriverDeviceDescription keyboard(const std::string& name) {
    midiservices::MIDIDriverDeviceDescription device;
    device.name = name;
    device.manufacturer = "Maker";
    device.entities.push_back({"Port 1", {"Out"}, {"In"}});
    return device;
}

// A started manager with the application's names, preferring `api`.
inline std::shared_ptr<midiio::MIDIManager> startedManager(
    const midiio::CoreMIDIAPIVersion& api = midiio::CoreMIDIAPIVersion::preferredForThisSystem()) {
    auto manager = midiio::MIDIManager::make("TessaloomMIDIModule", "Tessaloom", "Tessaloom");
    manager->setPreferredAPI(api);
    manager->start();
    return manager;
}

inline bool isNoteOff(const midicore::MIDIEvent& event) {
    return event.eventCase() == midicore::MIDIEvent::Case::noteOff;
}
inline bool isNoteOn(const midicore::MIDIEvent& event) {
    return event.eventCase() == midicore::MIDIEvent::Case::noteOn;
}

}  // namespace midiiotest
