#include "midiservices/test_driver.hpp"

#include <stdexcept>
#include <string>

#include "services_core.hpp"

namespace midiservices::testdriver {

// ---- Capture ----

void Capture::append(const MIDIDriverPacket& packet) {
    {
        std::lock_guard lock(mutex_);
        packets_.push_back(packet);
    }
    changed_.notify_all();
}

std::vector<MIDIDriverPacket> Capture::packets() const {
    std::lock_guard lock(mutex_);
    return packets_;
}

void Capture::clear() {
    std::lock_guard lock(mutex_);
    packets_.clear();
}

bool Capture::waitUntil(const std::function<bool(const std::vector<MIDIDriverPacket>&)>& predicate,
                        std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return predicate(packets_); });
}

bool Capture::waitForCount(size_t count, std::chrono::milliseconds timeout) const {
    return waitUntil([count](const auto& packets) { return packets.size() >= count; }, timeout);
}

// ---- SimulatedSystem ----

SimulatedSystem::SimulatedSystem()
    : services_(std::make_shared<Services>()), previous_(Services::exchangeCurrent(services_)) {}

SimulatedSystem::~SimulatedSystem() {
    // The replaced services go out of scope here, outside any lock of the services.
    auto ours = Services::exchangeCurrent(std::move(previous_));
    ours.reset();
    services_.reset();
}

SimulatedDevice SimulatedSystem::plug(const MIDIDriverDeviceDescription& description) {
    SimulatedDevice device;
    if (OSStatus status = services_->driverAddDevice(description, {}, &device.refs)) {
        throw std::runtime_error("the MIDI services refused the device: status " +
                                 std::to_string(status));
    }
    for (const auto& entity : device.refs.entities) {
        auto& captures = device.captures.emplace_back();
        for (MIDIEndpointRef destination : entity.destinations) {
            auto capture = std::make_shared<Capture>();
            services_->driverSetSink(destination, [capture](const MIDIDriverPacket& packet) {
                capture->append(packet);
            });
            captures.push_back(std::move(capture));
        }
    }
    return device;
}

OSStatus SimulatedSystem::unplug(const SimulatedDevice& device) {
    return services_->driverRemoveDevice(device.device());
}

OSStatus SimulatedSystem::play(MIDIEndpointRef source, std::vector<uint8_t> bytes,
                               MIDITimeStamp timeStamp) {
    return services_->driverReceived(source, {timeStamp, std::move(bytes), {}});
}

OSStatus SimulatedSystem::playWords(MIDIEndpointRef source, std::vector<uint32_t> words,
                                    MIDITimeStamp timeStamp) {
    return services_->driverReceived(source, {timeStamp, {}, std::move(words)});
}

void SimulatedSystem::injectStatus(Call call, OSStatus status, size_t times) {
    services_->injectStatus(call, status, times);
}

void SimulatedSystem::clearInjectedStatuses() {
    services_->clearInjectedStatuses();
}

void SimulatedSystem::setOperatingSystemVersion(OperatingSystemVersion version) {
    services_->setOperatingSystemVersion(version);
}

void SimulatedSystem::postNotification(MIDINotificationMessageID messageID) {
    services_->postNotification(messageID);
}

size_t SimulatedSystem::liveClients() const {
    return services_->liveClients();
}

ClientObjects SimulatedSystem::liveObjects(MIDIClientRef client) const {
    return services_->liveObjects(client);
}

bool SimulatedSystem::drain() {
    return services_->drain();
}

}  // namespace midiservices::testdriver
