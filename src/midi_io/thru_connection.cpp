#include "midi_io/thru_connection.hpp"

#include <algorithm>
#include <cstring>

#include "io_detail.hpp"
#include "midi_core/io_error.hpp"
#include "midi_io/input_connection.hpp"
#include "midi_io/manager.hpp"
#include "midi_io/output_connection.hpp"

namespace midiio {

namespace ms = midiservices;

namespace {

constexpr size_t maxEndpoints = ms::kMIDIThruConnection_MaxEndpoints;

// Systems on which the services' own non-persistent thru connections are replaced by the proxy
// and persistent ones are refused.
bool thruNeedsProxy() {
    const auto os = ms::MIDIServicesOperatingSystemVersion();
    return os >= ms::OperatingSystemVersion{11, 0, 0} && os < ms::OperatingSystemVersion{13, 0, 0};
}

template <class T>
std::vector<T> firstEight(std::vector<T> endpoints) {
    if (endpoints.size() > maxEndpoints) endpoints.resize(maxEndpoints);
    return endpoints;
}

template <class T>
std::string listText(const std::vector<T>& endpoints) {
    std::string text = "[";
    for (size_t i = 0; i < endpoints.size(); ++i) {
        if (i) text += ", ";
        text += endpoints[i].debugDescription();
    }
    return text + "]";
}

}  // namespace

// ---- Lifecycle and parameters ----

size_t MIDIThruConnection::Lifecycle::hash() const {
    if (case_ == Case::nonPersistent) return detail::hashCombine(0, 0);
    return detail::hashCombine(detail::hashCombine(0, 1), std::hash<std::string>{}(ownerID_));
}

std::string MIDIThruConnection::Lifecycle::description() const {
    return case_ == Case::nonPersistent ? "nonPersistent" : "persistent(" + ownerID_ + ")";
}

bool MIDIThruConnection::Parameters::passes(const midicore::MIDIEvent& event) const {
    using C = midicore::MIDIEvent::Case;
    switch (event.eventCase()) {
        case C::sysEx7:
        case C::universalSysEx7:
        case C::sysEx8:
        case C::universalSysEx8:
            return !filterOutSysEx;
        case C::timecodeQuarterFrame:
            return !filterOutMTC;
        case C::timingClock:
        case C::start:
        case C::continue_:
        case C::stop:
            return !filterOutBeatClock;
        case C::tuneRequest:
            return !filterOutTuneRequest;
        case C::cc:
        case C::noteCC:
        case C::rpn:
        case C::nrpn:
            return !filterOutAllControls;
        default:
            return true;
    }
}

// ---- Proxy ----

std::shared_ptr<MIDIThruConnectionProxy> MIDIThruConnectionProxy::make(
    const std::vector<MIDIOutputEndpoint>& outputs, const std::vector<MIDIInputEndpoint>& inputs,
    MIDIManager& manager, const CoreMIDIAPIVersion& api,
    std::function<bool(const midicore::MIDIEvent&)> keep) {
    std::shared_ptr<MIDIThruConnectionProxy> proxy(new MIDIThruConnectionProxy());
    const MIDIEndpointFilter noFilter;
    proxy->output_ = std::make_shared<MIDIOutputConnection>(
        asIdentitySet(inputs), MIDIConnectionMode::definedEndpoints, noFilter,
        manager.weak_from_this(), api);
    std::weak_ptr<MIDIThruConnectionProxy> weakProxy = proxy;
    auto relay = [weakProxy, keep = std::move(keep)](const std::vector<midicore::MIDIEvent>& events) {
        const auto strong = weakProxy.lock();
        if (!strong) return;
        std::vector<midicore::MIDIEvent> kept;
        std::copy_if(events.begin(), events.end(), std::back_inserter(kept), keep);
        if (kept.empty()) return;
        try {
            strong->output_->send(kept);
        } catch (const std::exception&) {
            // A relay that cannot be sent is dropped; the next batch tries again.
        }
    };
    proxy->input_ = std::make_shared<MIDIInputConnection>(
        asIdentitySet(outputs), MIDIConnectionMode::definedEndpoints, noFilter,
        MIDIReceiver::events(false, std::move(relay)), manager.weak_from_this(), api);
    try {
        proxy->output_->createPort(manager);
    } catch (const midicore::MIDIIOError&) {
        // Without a port every relay fails quietly, as a refused send would.
    }
    proxy->output_->resolveEndpoints(manager);
    proxy->input_->listen(manager);
    proxy->input_->connect(manager);
    return proxy;
}

MIDIThruConnectionProxy::~MIDIThruConnectionProxy() {
    // The input connection goes first so no relay runs against a closed output port.
    input_.reset();
    output_.reset();
}

// ---- Thru connection ----

MIDIThruConnection::MIDIThruConnection(std::vector<MIDIOutputEndpoint> outputs,
                                       std::vector<MIDIInputEndpoint> inputs, Lifecycle lifecycle,
                                       Parameters params, std::weak_ptr<MIDIManager> midiManager,
                                       const CoreMIDIAPIVersion& api)
    : midiManager_(std::move(midiManager)), api_(api.availableOrLegacy()),
      outputs_(firstEight(std::move(outputs))), inputs_(firstEight(std::move(inputs))),
      lifecycle_(std::move(lifecycle)), parameters_(params) {}

MIDIThruConnection::~MIDIThruConnection() {
    if (lifecycle_.lifecycleCase() != Lifecycle::Case::nonPersistent) return;
    proxy_.reset();
    if (ref_ && *ref_ != 0) ms::MIDIThruConnectionDispose(*ref_);
    ref_.reset();
}

ms::MIDIThruConnectionParams MIDIThruConnection::coreMIDIParams() const {
    ms::MIDIThruConnectionParams params;
    ms::MIDIThruConnectionParamsInitialize(&params);
    params.numSources = static_cast<uint32_t>(outputs_.size());
    for (size_t i = 0; i < outputs_.size(); ++i)
        params.sources[i] = {outputs_[i].coreMIDIObjectRef, outputs_[i].uniqueID};
    params.numDestinations = static_cast<uint32_t>(inputs_.size());
    for (size_t i = 0; i < inputs_.size(); ++i)
        params.destinations[i] = {inputs_[i].coreMIDIObjectRef, inputs_[i].uniqueID};
    params.filterOutSysEx = parameters_.filterOutSysEx ? 1 : 0;
    params.filterOutMTC = parameters_.filterOutMTC ? 1 : 0;
    params.filterOutBeatClock = parameters_.filterOutBeatClock ? 1 : 0;
    params.filterOutTuneRequest = parameters_.filterOutTuneRequest ? 1 : 0;
    params.filterOutAllControls = parameters_.filterOutAllControls ? 1 : 0;
    return params;
}

void MIDIThruConnection::create(MIDIManager& manager) {
    const auto params = coreMIDIParams();
    std::vector<uint8_t> block(ms::MIDIThruConnectionParamsSize(&params));
    std::memcpy(block.data(), &params, std::min(block.size(), sizeof params));
    const bool persistent = lifecycle_.lifecycleCase() == Lifecycle::Case::persistent;
    if (thruNeedsProxy()) {
        if (persistent)
            throw midicore::MIDIIOError::notSupported(
                "Persistent MIDI Thru Connections cannot be created on macOS 11 & 12 and iOS 14 & 15 "
                "due to a Core MIDI bug. Consider using a non-persistent thru connection instead.");
        const Parameters filters = parameters_;
        proxy_ = MIDIThruConnectionProxy::make(
            outputs_, inputs_, manager, api_,
            [filters](const midicore::MIDIEvent& event) { return filters.passes(event); });
        ref_ = 0;
        return;
    }
    ms::MIDIThruConnectionRef ref = 0;
    midicore::throwIfOSStatusErr(ms::MIDIThruConnectionCreate(
        persistent ? lifecycle_.ownerID() : std::string(), block.data(), block.size(), &ref));
    ref_ = ref;
}

std::string MIDIThruConnection::description() const {
    return "MIDIThruConnection(ref: " + (ref_ ? std::to_string(*ref_) : std::string("nil")) +
           ", outputs: " + listText(outputs_) + ", inputs: " + listText(inputs_) + ", " +
           lifecycle_.description() + ")";
}

std::vector<ms::MIDIThruConnectionRef> MIDIThruConnection::persistentConnections(
    const std::string& ownerID) {
    std::vector<uint8_t> data;
    midicore::throwIfOSStatusErr(ms::MIDIThruConnectionFind(ownerID, &data));
    std::vector<ms::MIDIThruConnectionRef> refs(data.size() / sizeof(uint32_t));
    if (!refs.empty()) std::memcpy(refs.data(), data.data(), refs.size() * sizeof(uint32_t));
    return refs;
}

size_t MIDIThruConnection::removePersistentConnections(const std::string& ownerID) {
    std::vector<ms::MIDIThruConnectionRef> refs;
    try {
        refs = persistentConnections(ownerID);
    } catch (const midicore::MIDIIOError&) {
        return 0;
    }
    return static_cast<size_t>(std::count_if(refs.begin(), refs.end(), [](auto ref) {
        return ms::MIDIThruConnectionDispose(ref) == ms::noErr;
    }));
}

}  // namespace midiio
