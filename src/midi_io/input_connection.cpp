#include "midi_io/input_connection.hpp"

#include <algorithm>
#include <iterator>

#include "connection_criteria.hpp"
#include "io_detail.hpp"
#include "midi_core/io_error.hpp"
#include "midi_io/detail/virtual_endpoint.hpp"
#include "midi_io/manager.hpp"
#include "midiservices/io.hpp"

namespace midiio {

namespace ms = midiservices;

MIDIInputConnection::MIDIInputConnection(const MIDIEndpointIdentitySet& criteria,
                                         MIDIConnectionMode mode, MIDIEndpointFilter filter,
                                         const MIDIReceiver& receiver,
                                         std::weak_ptr<MIDIManager> midiManager,
                                         const CoreMIDIAPIVersion& api)
    : ConnectionCore(mode, std::move(filter), std::move(midiManager), api),
      relay_(std::make_shared<detail::ReceiveRelay>(receiver.makeReceiveHandler())) {
    initializeCriteria(criteria);
}

MIDIEndpointIdentitySet MIDIInputConnection::allCurrentIdentities() const {
    return currentOutputIdentities();
}

// Only the unique-ID identities of the manager's own virtual sources are left out.
std::vector<int32_t> MIDIInputConnection::ownedUniqueIDs(const MIDIManager& manager) const {
    return manager.managedOutputUniqueIDs();
}

MIDIInputConnection::~MIDIInputConnection() {
    std::lock_guard lock(mutex_);
    if (!port_) return;
    disconnectLocked(connected_);
    ms::MIDIPortDispose(*port_);
    port_.reset();
}

std::optional<ms::MIDIPortRef> MIDIInputConnection::coreMIDIInputPortRef() const {
    std::lock_guard lock(mutex_);
    return port_;
}

MIDIInputConnection::EndpointRefs MIDIInputConnection::coreMIDIOutputEndpointRefs() const {
    std::lock_guard lock(mutex_);
    return connected_;
}

std::vector<MIDIOutputEndpoint> MIDIInputConnection::endpoints() const {
    std::vector<MIDIOutputEndpoint> records;
    for (const auto ref : coreMIDIOutputEndpointRefs()) records.emplace_back(ref);
    return records;
}

void MIDIInputConnection::listen(const MIDIManager& manager) {
    std::lock_guard lock(mutex_);
    if (port_) return;
    const std::string name = detail::makeUUIDString();
    const std::weak_ptr<dispatch::Queue> queue = manager.eventQueue();
    ms::MIDIPortRef port = 0;
    ms::OSStatus status = ms::noErr;
    if (const auto protocol = api_.protocol()) {
        detail::requireNewCoreMIDIAPI();
        status = ms::MIDIInputPortCreateWithProtocol(manager.coreMIDIClientRef(), name,
                                                     detail::servicesProtocol(*protocol), &port,
                                                     relay_->receiveBlock(queue, true));
    } else {
        status = ms::MIDIInputPortCreateWithBlock(manager.coreMIDIClientRef(), name, &port,
                                                  relay_->readBlock(queue, true));
    }
    midicore::throwIfOSStatusErr(status);
    port_ = port;
    queue_ = queue;
}

void MIDIInputConnection::connect(const MIDIManager& manager) {
    listen(manager);
    const auto sources = manager.endpoints().outputs();
    std::vector<int32_t> released;
    {
        std::lock_guard lock(mutex_);
        if (!port_)
            throw midicore::MIDIIOError::connectionError(
                "Not in a listening state; can't connect to endpoints.");
        const EndpointRefs matched = detail::resolve(sources, criteria_);
        // Only what changed is touched: sources that no longer match are disconnected and every
        // match is connected. A source connected already keeps its connection (the services
        // keep an equal one as it is), so nothing it has sent meanwhile is lost; one that was
        // disconnected behind our back is connected again.
        EndpointRefs gone;
        std::set_difference(connected_.begin(), connected_.end(), matched.begin(), matched.end(),
                            std::inserter(gone, gone.end()));
        released = disconnectLocked(gone);
        // The reference value carries the source's reference, so each record knows its source.
        for (const auto ref : matched)
            ms::MIDIPortConnectSource(*port_, ref, detail::refConForEndpoint(ref));
        connected_ = matched;
        for (const auto& source : sources) {
            if (!matched.contains(source.coreMIDIObjectRef)) continue;
            sourceIDs_[source.coreMIDIObjectRef] = source.uniqueID;
            // A source that came back under another reference keeps its parsers.
            std::erase(released, source.uniqueID);
        }
    }
    relay_->releaseSources(queue_, std::move(released));
}

void MIDIInputConnection::disconnect(const std::optional<EndpointRefs>& endpointRefs) {
    std::vector<int32_t> released;
    {
        std::lock_guard lock(mutex_);
        if (!port_)
            throw midicore::MIDIIOError::connectionError(
                "Attempted to disconnect outputs but was not in a listening state; nothing to "
                "disconnect.");
        released = disconnectLocked(endpointRefs ? *endpointRefs : connected_);
    }
    relay_->releaseSources(queue_, std::move(released));
}

std::vector<int32_t> MIDIInputConnection::disconnectLocked(const EndpointRefs& refs) {
    std::vector<int32_t> released;
    if (!port_) return released;
    for (const auto ref : refs) {
        ms::MIDIPortDisconnectSource(*port_, ref);
        if (const auto it = sourceIDs_.find(ref); it != sourceIDs_.end()) {
            released.push_back(it->second);
            sourceIDs_.erase(it);
        }
    }
    return released;
}

void MIDIInputConnection::addOutputs(const std::vector<MIDIEndpointIdentity>& outputs) {
    addToCriteria(outputs);
    refreshIfManaged();
}

void MIDIInputConnection::addOutputs(const std::vector<MIDIOutputEndpoint>& outputs) {
    addOutputs(asIdentities(outputs));
}

void MIDIInputConnection::removeOutputs(const std::vector<MIDIEndpointIdentity>& outputs) {
    removeFromCriteria(outputs);
    const auto manager = midiManager_.lock();
    if (!manager) return;
    const EndpointRefs removed = detail::resolve(
        manager->endpoints().outputs(), MIDIEndpointIdentitySet(outputs.begin(), outputs.end()));
    std::vector<int32_t> released;
    {
        std::lock_guard lock(mutex_);
        released = disconnectLocked(removed);
    }
    relay_->releaseSources(queue_, std::move(released));
    refreshIfManaged();
}

void MIDIInputConnection::removeOutputs(const std::vector<MIDIOutputEndpoint>& outputs) {
    removeOutputs(asIdentities(outputs));
}

void MIDIInputConnection::removeAllOutputs() {
    const auto current = outputsCriteria();
    updateCriteria(MIDIEndpointIdentitySet{});
    removeOutputs(std::vector<MIDIEndpointIdentity>(current.begin(), current.end()));
}

void MIDIInputConnection::setReceiver(const MIDIReceiver& receiver) {
    relay_->setHandler(receiver.makeReceiveHandler());
}

std::string MIDIInputConnection::description() const {
    std::lock_guard lock(mutex_);
    return "MIDIInputConnection(criteria: " + detail::describeCriteria(criteria_) +
           ", outputEndpointRefs: " + detail::describeRefs(connected_) +
           ", inputPortRef: " + (port_ ? std::to_string(*port_) : std::string("nil")) + ")";
}

}  // namespace midiio
