#include "midi_io/input_connection.hpp"

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
    : midiManager_(std::move(midiManager)),
      api_(api.availableOrLegacy()),
      relay_(std::make_shared<detail::ReceiveRelay>(receiver.makeReceiveHandler())),
      mode_(mode),
      filter_(std::move(filter)) {
    updateCriteria(mode == MIDIConnectionMode::allEndpoints ? currentOutputIdentities() : criteria);
}

MIDIInputConnection::~MIDIInputConnection() {
    std::lock_guard lock(mutex_);
    if (!port_) return;
    disconnectLocked(connected_);
    ms::MIDIPortDispose(*port_);
    port_.reset();
}

MIDIEndpointIdentitySet MIDIInputConnection::outputsCriteria() const {
    std::lock_guard lock(mutex_);
    return outputsCriteria_;
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

MIDIConnectionMode MIDIInputConnection::mode() const {
    std::lock_guard lock(mutex_);
    return mode_;
}

void MIDIInputConnection::setMode(MIDIConnectionMode mode) {
    {
        std::lock_guard lock(mutex_);
        if (mode == mode_) return;
        mode_ = mode;
        if (midiManager_.expired()) return;
    }
    updateCriteria(mode == MIDIConnectionMode::allEndpoints
                       ? std::optional<MIDIEndpointIdentitySet>(currentOutputIdentities())
                       : std::nullopt);
    refreshIfManaged();
}

MIDIEndpointFilter MIDIInputConnection::filter() const {
    std::lock_guard lock(mutex_);
    return filter_;
}

void MIDIInputConnection::setFilter(MIDIEndpointFilter filter) {
    {
        std::lock_guard lock(mutex_);
        if (filter == filter_) return;
        filter_ = std::move(filter);
        if (midiManager_.expired()) return;
    }
    updateCriteria(std::nullopt);
    refreshIfManaged();
}

void MIDIInputConnection::updateCriteria(const std::optional<MIDIEndpointIdentitySet>& criteria) {
    std::lock_guard lock(mutex_);
    updateCriteriaLocked(criteria);
}

void MIDIInputConnection::updateCriteriaLocked(
    const std::optional<MIDIEndpointIdentitySet>& criteria) {
    MIDIEndpointIdentitySet result = criteria ? *criteria : outputsCriteria_;
    if (filter_.owned) {
        // Only the unique-ID identities of the manager's own virtual sources are left out.
        if (const auto manager = midiManager_.lock())
            for (const auto id : manager->managedOutputUniqueIDs())
                result.erase(MIDIEndpointIdentity::uniqueID(id));
    }
    if (!filter_.criteria.empty())
        std::erase_if(result, [this](const auto& identity) {
            return filter_.criteria.count(identity) != 0;
        });
    outputsCriteria_ = std::move(result);
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
}

void MIDIInputConnection::connect(const MIDIManager& manager) {
    listen(manager);
    const auto sources = manager.endpoints().outputs();
    std::lock_guard lock(mutex_);
    if (!port_)
        throw midicore::MIDIIOError::connectionError(
            "Not in a listening state; can't connect to endpoints.");
    disconnectLocked(connected_);
    EndpointRefs matched;
    for (const auto& identity : outputsCriteria_)
        if (const auto found = firstMatching(sources, identity))
            matched.insert(found->coreMIDIObjectRef);
    connected_ = matched;
    // The reference value carries the source's reference, so each record knows its source.
    for (const auto ref : matched)
        ms::MIDIPortConnectSource(*port_, ref, detail::refConForEndpoint(ref));
}

void MIDIInputConnection::disconnect(const std::optional<EndpointRefs>& endpointRefs) {
    std::lock_guard lock(mutex_);
    if (!port_)
        throw midicore::MIDIIOError::connectionError(
            "Attempted to disconnect outputs but was not in a listening state; nothing to "
            "disconnect.");
    disconnectLocked(endpointRefs ? *endpointRefs : connected_);
}

void MIDIInputConnection::disconnectLocked(const EndpointRefs& refs) const {
    if (!port_) return;
    for (const auto ref : refs) ms::MIDIPortDisconnectSource(*port_, ref);
}

void MIDIInputConnection::refreshIfManaged() {
    const auto manager = midiManager_.lock();
    if (!manager) return;
    try {
        refreshConnection(*manager);
    } catch (const midicore::MIDIIOError&) {
        // A connection that cannot listen keeps its criteria; the next refresh tries again.
    }
}

void MIDIInputConnection::addOutputs(const std::vector<MIDIEndpointIdentity>& outputs) {
    {
        std::lock_guard lock(mutex_);
        auto criteria = outputsCriteria_;
        criteria.insert(outputs.begin(), outputs.end());
        updateCriteriaLocked(criteria);
    }
    refreshIfManaged();
}

void MIDIInputConnection::addOutputs(const std::vector<MIDIOutputEndpoint>& outputs) {
    addOutputs(asIdentities(outputs));
}

void MIDIInputConnection::removeOutputs(const std::vector<MIDIEndpointIdentity>& outputs) {
    {
        std::lock_guard lock(mutex_);
        auto criteria = outputsCriteria_;
        for (const auto& identity : outputs) criteria.erase(identity);
        updateCriteriaLocked(criteria);
    }
    const auto manager = midiManager_.lock();
    if (!manager) return;
    EndpointRefs removed;
    const auto sources = manager->endpoints().outputs();
    for (const auto& identity : outputs)
        if (const auto found = firstMatching(sources, identity))
            removed.insert(found->coreMIDIObjectRef);
    {
        std::lock_guard lock(mutex_);
        disconnectLocked(removed);
    }
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
    std::string text = "MIDIInputConnection(criteria: [";
    bool first = true;
    for (const auto& identity : outputsCriteria_) {
        text += (first ? "" : ", ") + identity.description();
        first = false;
    }
    text += "], outputEndpointRefs: [";
    first = true;
    for (const auto ref : connected_) {
        std::string name;
        const bool named = ms::MIDIObjectGetStringProperty(ref, ms::kMIDIPropertyName, &name) ==
                           ms::noErr;
        text += (first ? "" : ", ") + std::to_string(ref) + ":" +
                (named ? "\"" + name + "\"" : std::string("nil"));
        first = false;
    }
    return text + "], inputPortRef: " + (port_ ? std::to_string(*port_) : std::string("nil")) +
           ")";
}

}  // namespace midiio
