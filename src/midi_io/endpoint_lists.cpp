#include "midi_io/endpoint_lists.hpp"

#include <algorithm>

#include "midi_io/object_cache.hpp"

namespace midiio {

std::vector<MIDIDevice> MIDIDevices::devices() const {
    std::lock_guard lock(mutex_);
    return devices_;
}

void MIDIDevices::refresh() {
    auto scanned = getSystemDevices();
    std::vector<MIDIDevice> old;  // released after the lock
    std::lock_guard lock(mutex_);
    old = std::exchange(devices_, std::move(scanned));
}

namespace {

template <class Record>
std::vector<Record> withoutIDs(const std::vector<Record>& all, const std::vector<int32_t>& ids) {
    std::vector<Record> kept;
    for (const auto& e : all)
        if (std::find(ids.begin(), ids.end(), e.uniqueID) == ids.end()) kept.push_back(e);
    return kept;
}

}  // namespace

std::vector<MIDIInputEndpoint> MIDIEndpoints::inputs() const {
    std::lock_guard lock(mutex_);
    return inputs_;
}
std::vector<MIDIInputEndpoint> MIDIEndpoints::inputsUnowned() const {
    std::lock_guard lock(mutex_);
    return inputsUnowned_;
}
std::vector<MIDIOutputEndpoint> MIDIEndpoints::outputs() const {
    std::lock_guard lock(mutex_);
    return outputs_;
}
std::vector<MIDIOutputEndpoint> MIDIEndpoints::outputsUnowned() const {
    std::lock_guard lock(mutex_);
    return outputsUnowned_;
}

void MIDIEndpoints::refresh() {
    auto inputs = getSystemDestinationEndpoints();
    auto inputsUnowned = inputs;
    if (const auto manager = manager_.lock())
        inputsUnowned = withoutIDs(inputs, manager->managedInputUniqueIDs());
    auto outputs = getSystemSourceEndpoints();
    auto outputsUnowned = outputs;
    if (const auto manager = manager_.lock())
        outputsUnowned = withoutIDs(outputs, manager->managedOutputUniqueIDs());

    std::lock_guard lock(mutex_);
    std::swap(inputs_, inputs);
    std::swap(inputsUnowned_, inputsUnowned);
    std::swap(outputs_, outputs);
    std::swap(outputsUnowned_, outputsUnowned);
}

namespace {

template <class Record, class Get>
std::unordered_map<MIDIDevice, std::vector<Record>> endpointsByDevice(
    const MIDIDevicesProtocol& holder, Get endpointsOfEntity) {
    std::unordered_map<MIDIDevice, std::vector<Record>> map;
    for (const auto& device : holder.devices()) {
        std::vector<Record> list;
        for (const auto& entity : device.entities()) {
            auto endpoints = endpointsOfEntity(entity.coreMIDIObjectRef);
            list.insert(list.end(), endpoints.begin(), endpoints.end());
        }
        map.insert_or_assign(device, std::move(list));
    }
    return map;
}

}  // namespace

std::unordered_map<MIDIDevice, std::vector<MIDIInputEndpoint>> inputEndpointsByDevice(
    const MIDIDevicesProtocol& devices) {
    return endpointsByDevice<MIDIInputEndpoint>(devices, getEntityDestinationEndpoints);
}

std::unordered_map<MIDIDevice, std::vector<MIDIOutputEndpoint>> outputEndpointsByDevice(
    const MIDIDevicesProtocol& devices) {
    return endpointsByDevice<MIDIOutputEndpoint>(devices, getEntitySourceEndpoints);
}

MIDIIOObjectCache::MIDIIOObjectCache(const MIDIDevicesProtocol& devices,
                                     const MIDIEndpointsProtocol& endpoints)
    : devices(devices.devices()),
      inputEndpoints(endpoints.inputs()),
      outputEndpoints(endpoints.outputs()) {}

}  // namespace midiio
