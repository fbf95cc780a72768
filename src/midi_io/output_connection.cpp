#include "midi_io/output_connection.hpp"

#include "connection_criteria.hpp"
#include "io_detail.hpp"
#include "midi_core/io_error.hpp"
#include "midi_io/detail/send_path.hpp"
#include "midi_io/manager.hpp"
#include "midiservices/io.hpp"

namespace midiio {

namespace ms = midiservices;

MIDIOutputConnection::MIDIOutputConnection(const MIDIEndpointIdentitySet& criteria,
                                           MIDIConnectionMode mode, MIDIEndpointFilter filter,
                                           std::weak_ptr<MIDIManager> midiManager,
                                           const CoreMIDIAPIVersion& api)
    : ConnectionCore(mode, std::move(filter), std::move(midiManager), api) {
    initializeCriteria(criteria);
}

MIDIEndpointIdentitySet MIDIOutputConnection::allCurrentIdentities() const {
    return currentInputIdentities();
}

// Only the unique-ID identities of the manager's own virtual destinations are left out.
std::vector<int32_t> MIDIOutputConnection::ownedUniqueIDs(const MIDIManager& manager) const {
    return manager.managedInputUniqueIDs();
}

MIDIOutputConnection::~MIDIOutputConnection() {
    std::lock_guard lock(mutex_);
    if (port_) ms::MIDIPortDispose(*port_);
}

std::optional<ms::MIDIPortRef> MIDIOutputConnection::coreMIDIOutputPortRef() const {
    std::lock_guard lock(mutex_);
    return port_;
}

MIDIOutputConnection::EndpointRefs MIDIOutputConnection::coreMIDIInputEndpointRefs() const {
    std::lock_guard lock(mutex_);
    return resolved_;
}

std::vector<MIDIInputEndpoint> MIDIOutputConnection::endpoints() const {
    std::vector<MIDIInputEndpoint> records;
    for (const auto ref : coreMIDIInputEndpointRefs()) records.emplace_back(ref);
    return records;
}

void MIDIOutputConnection::createPort(const MIDIManager& manager) {
    std::lock_guard lock(mutex_);
    if (port_) return;
    ms::MIDIPortRef port = 0;
    midicore::throwIfOSStatusErr(
        ms::MIDIOutputPortCreate(manager.coreMIDIClientRef(), detail::makeUUIDString(), &port));
    port_ = port;
}

void MIDIOutputConnection::resolveEndpoints(const MIDIManager& manager) {
    const auto destinations = manager.endpoints().inputs();
    std::lock_guard lock(mutex_);
    resolved_ = detail::resolve(destinations, criteria_);
    sendTo_ = std::make_shared<const std::vector<ms::MIDIEndpointRef>>(resolved_.begin(),
                                                                       resolved_.end());
}

void MIDIOutputConnection::addInputs(const std::vector<MIDIEndpointIdentity>& inputs) {
    addToCriteria(inputs);
    refreshIfManaged();
}

void MIDIOutputConnection::addInputs(const std::vector<MIDIInputEndpoint>& inputs) {
    addInputs(asIdentities(inputs));
}

void MIDIOutputConnection::removeInputs(const std::vector<MIDIEndpointIdentity>& inputs) {
    removeFromCriteria(inputs);
    refreshIfManaged();
}

void MIDIOutputConnection::removeInputs(const std::vector<MIDIInputEndpoint>& inputs) {
    removeInputs(asIdentities(inputs));
}

void MIDIOutputConnection::removeAllInputs() {
    updateCriteria(MIDIEndpointIdentitySet{});
    refreshIfManaged();
}

template <class Send>
void MIDIOutputConnection::sendWith(const Send& send) const {
    std::optional<ms::MIDIPortRef> port;
    // The destinations as of the last refresh, shared rather than copied: a send allocates
    // nothing for them.
    std::shared_ptr<const std::vector<ms::MIDIEndpointRef>> sendTo;
    {
        std::lock_guard lock(mutex_);
        port = port_;
        sendTo = sendTo_;
    }
    if (!port)
        throw midicore::MIDIIOError::internalInconsistency("Output port reference is nil.");
    static const std::vector<ms::MIDIEndpointRef> none;
    const auto& destinations = sendTo ? *sendTo : none;
    // Each destination's status is ignored: one that vanished does not stop the others.
    send(detail::SendTarget{
        api_,
        [&](const ms::MIDIPacketList* list, size_t size) {
            for (const auto destination : destinations) ms::MIDISend(*port, destination, list, size);
        },
        [&](const ms::MIDIEventList* list, size_t size) {
            for (const auto destination : destinations)
                ms::MIDISendEventList(*port, destination, list, size);
        }});
}

void MIDIOutputConnection::send(const midicore::MIDIEvent& event) const {
    sendWith([&](const detail::SendTarget& target) { detail::sendEvent(target, event); });
}

void MIDIOutputConnection::send(const std::vector<midicore::MIDIEvent>& events) const {
    sendWith([&](const detail::SendTarget& target) { detail::sendEvents(target, events); });
}

std::string MIDIOutputConnection::description() const {
    std::lock_guard lock(mutex_);
    return "MIDIOutputConnection(criteria: " + detail::describeCriteria(criteria_) +
           ", inputEndpointRefs: " + detail::describeRefs(resolved_) +
           ", outputPortRef: " + (port_ ? std::to_string(*port_) : std::string("nil")) + ")";
}

}  // namespace midiio
