// A test bench for code that uses the MIDI services: a fresh, empty set of in-process services
// installed as the process's current ones for the bench's lifetime, simulated hardware devices,
// playing MIDI into their sources, captures of what reaches their destinations, chosen statuses
// injected into calls, the operating-system version the services report, counts of live objects,
// and a drain of the services' threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "midiservices/driver.hpp"
#include "midiservices/services.hpp"

namespace midiservices {
class Services;
}

namespace midiservices::testdriver {

// The calls whose status a test can choose.
enum class Call {
    clientCreate,
    clientDispose,
    sourceCreate,       // both forms
    destinationCreate,  // both forms
    endpointDispose,
    endpointGetEntity,
    entityGetDevice,
    objectFindByUniqueID,
    objectGetStringProperty,
    objectGetIntegerProperty,
    objectGetDictionaryProperty,
    objectSetStringProperty,
    objectSetIntegerProperty,
    objectSetDictionaryProperty,
    objectRemoveProperty,
    driverAddDevice,
    driverRemoveDevice,
    driverReceived,
    portCreate,  // input and output, every form
    portDispose,
    portConnectSource,
    portDisconnectSource,
    send,      // MIDISend and MIDISendEventList
    received,  // MIDIReceived and MIDIReceivedEventList
    thruConnectionCreate,
    thruConnectionDispose,
    thruConnectionFind,
};

// What a client owns at the moment.
struct ClientObjects {
    size_t virtualSources = 0;
    size_t virtualDestinations = 0;
    size_t ports = 0;
    size_t total() const { return virtualSources + virtualDestinations + ports; }
};

// The packets a device's destination received, in arrival order, with waits for more. Any thread
// may use it.
class Capture {
  public:
    void append(const MIDIDriverPacket& packet);
    std::vector<MIDIDriverPacket> packets() const;
    void clear();
    // Waits until `predicate` holds for the packets received so far, or `timeout` passes; returns
    // whether it holds.
    bool waitUntil(const std::function<bool(const std::vector<MIDIDriverPacket>&)>& predicate,
                   std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    bool waitForCount(size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<MIDIDriverPacket> packets_;
};

// A simulated device: its references, and a capture per destination.
struct SimulatedDevice {
    MIDIDriverDevice refs;
    // captures[entity][destination]
    std::vector<std::vector<std::shared_ptr<Capture>>> captures;

    MIDIDeviceRef device() const { return refs.device; }
    MIDIEntityRef entity(size_t e) const { return refs.entities.at(e).entity; }
    MIDIEndpointRef source(size_t e, size_t i = 0) const {
        return refs.entities.at(e).sources.at(i);
    }
    MIDIEndpointRef destination(size_t e, size_t i = 0) const {
        return refs.entities.at(e).destinations.at(i);
    }
    Capture& capture(size_t e, size_t i = 0) const { return *captures.at(e).at(i); }
};

// Fresh in-process services, current while the bench lives; the services that were current
// before come back when it ends. The services (and every notification thread they run) are gone
// when the bench and every call in progress on them have ended. One bench at a time per process.
class SimulatedSystem {
  public:
    SimulatedSystem();
    ~SimulatedSystem();
    SimulatedSystem(const SimulatedSystem&) = delete;
    SimulatedSystem& operator=(const SimulatedSystem&) = delete;

    // Hot-plugs a device (MIDIDriverAddDevice) and captures its destinations. Throws
    // std::runtime_error when the services refuse it.
    SimulatedDevice plug(const MIDIDriverDeviceDescription& description);
    // Unplugs it (MIDIDriverRemoveDevice).
    OSStatus unplug(const SimulatedDevice& device);

    // Plays MIDI 1.0 bytes or UMP words on a device's source, as the keyboard behind it would.
    OSStatus play(MIDIEndpointRef source, std::vector<uint8_t> bytes, MIDITimeStamp timeStamp = 0);
    OSStatus playWords(MIDIEndpointRef source, std::vector<uint32_t> words,
                       MIDITimeStamp timeStamp = 0);

    // The next `times` calls of `call` return `status` without doing anything.
    void injectStatus(Call call, OSStatus status, size_t times = 1);
    void clearInjectedStatuses();

    // The version MIDIServicesOperatingSystemVersion reports; the default is the newest.
    void setOperatingSystemVersion(OperatingSystemVersion version);
    static constexpr OperatingSystemVersion newestOperatingSystemVersion{15, 0, 0};

    // Posts a notification without payload with any message ID to every client.
    void postNotification(MIDINotificationMessageID messageID);

    size_t liveClients() const;
    ClientObjects liveObjects(MIDIClientRef client) const;

    // Waits until the services' threads have run everything queued before the call. Returns false
    // (without waiting) when called on one of those threads.
    bool drain();

  private:
    std::shared_ptr<Services> services_;
    std::shared_ptr<Services> previous_;
};

}  // namespace midiservices::testdriver
