// The manager's mirrors of the system's MIDI setup: the devices, and the destinations (inputs)
// and sources (outputs), each also without the manager's own virtual endpoints. A refresh replaces
// each list whole with a new scan, in the services' index order.
//
// Thread-safe: any thread may read while another refreshes; a getter returns a copy of one whole
// list.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "midi_io/endpoint.hpp"
#include "midi_io/managed_endpoints.hpp"
#include "midi_io/object_model.hpp"

namespace midiio {

class MIDIDevicesProtocol {
  public:
    virtual ~MIDIDevicesProtocol() = default;
    virtual std::vector<MIDIDevice> devices() const = 0;
    virtual void refresh() = 0;
};

class MIDIEndpointsProtocol {
  public:
    virtual ~MIDIEndpointsProtocol() = default;
    virtual std::vector<MIDIInputEndpoint> inputs() const = 0;
    virtual std::vector<MIDIInputEndpoint> inputsUnowned() const = 0;
    virtual std::vector<MIDIOutputEndpoint> outputs() const = 0;
    virtual std::vector<MIDIOutputEndpoint> outputsUnowned() const = 0;
    virtual void refresh() = 0;
};

class MIDIDevices : public MIDIDevicesProtocol {
  public:
    std::vector<MIDIDevice> devices() const override;
    // The devices become the current system devices.
    void refresh() override;

  private:
    mutable std::mutex mutex_;
    std::vector<MIDIDevice> devices_;
};

class MIDIEndpoints : public MIDIEndpointsProtocol {
  public:
    // A holder without manager: the unowned lists equal the full ones.
    MIDIEndpoints() = default;
    // A holder of `manager`, held weakly.
    explicit MIDIEndpoints(std::weak_ptr<const MIDIManagedEndpoints> manager)
        : manager_(std::move(manager)) {}

    std::vector<MIDIInputEndpoint> inputs() const override;
    std::vector<MIDIInputEndpoint> inputsUnowned() const override;
    std::vector<MIDIOutputEndpoint> outputs() const override;
    std::vector<MIDIOutputEndpoint> outputsUnowned() const override;
    // Scans the destinations, then the sources; the unowned lists leave out every endpoint whose
    // unique ID one of the manager's virtual inputs (outputs) stores.
    void refresh() override;

  private:
    std::weak_ptr<const MIDIManagedEndpoints> manager_;
    mutable std::mutex mutex_;
    std::vector<MIDIInputEndpoint> inputs_;
    std::vector<MIDIInputEndpoint> inputsUnowned_;
    std::vector<MIDIOutputEndpoint> outputs_;
    std::vector<MIDIOutputEndpoint> outputsUnowned_;
};

// Each device of the holder with its destinations (sources), entity by entity, read now. A later
// device equal to an earlier one replaces its entry.
std::unordered_map<MIDIDevice, std::vector<MIDIInputEndpoint>> inputEndpointsByDevice(
    const MIDIDevicesProtocol& devices);
std::unordered_map<MIDIDevice, std::vector<MIDIOutputEndpoint>> outputEndpointsByDevice(
    const MIDIDevicesProtocol& devices);

}  // namespace midiio
