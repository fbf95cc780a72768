// Ports, sending and publishing, routing, delivery and thru connections of the in-process services.
#include <cstdio>
#include <cstring>
#include <exception>
#include <type_traits>

#include "lists.hpp"
#include "midiservices/io.hpp"
#include "services_core.hpp"

namespace midiservices {

namespace {

using detail::find;
using detail::readEventList;
using detail::readPacketList;
using detail::validProtocol;

// Whether a thru connection with these parameters lets the message through.
bool passes(const uint32_t* w, const MIDIThruConnectionParams& p) {
    const uint32_t type = w[0] >> 28;
    const uint32_t nibble = w[0] >> 20 & 0xF;
    switch (type) {
        case 0x1: {
            const uint32_t status = w[0] >> 16 & 0xFF;
            if (status == 0xF1) return !p.filterOutMTC;
            if (status == 0xF8 || status == 0xFA || status == 0xFB || status == 0xFC) {
                return !p.filterOutBeatClock;
            }
            if (status == 0xF6) return !p.filterOutTuneRequest;
            return true;
        }
        case 0x2:
            return nibble != 0xB || !p.filterOutAllControls;
        case 0x3:
        case 0x5:
            return !p.filterOutSysEx;
        case 0x4:
            if (nibble <= 0x5 || nibble == 0xB) return !p.filterOutAllControls;
            return true;
        default:
            return true;
    }
}

bool filters(const MIDIThruConnectionParams& p) {
    return p.filterOutSysEx || p.filterOutMTC || p.filterOutBeatClock || p.filterOutTuneRequest ||
           p.filterOutAllControls;
}

}  // namespace

// ---- Forms and delivery ----

Services::Lease Services::lease() {
    return detail::DeliveryWorker::acquire(worker_);
}

void Services::makeForms(Inbound& data, std::pair<MIDIObjectRef, MIDIObjectRef> sender) {
    auto& d = *data.delivery;
    if (!data.protocol) {
        // Bytes are parsed once, here, so that a message split across sends is joined up.
        auto& parser = parsers_[sender];
        for (const auto& packet : d.raw.packets())
            parser.feed(packet.timeStamp, d.raw.bytes(packet), d.forms.ump1);
        std::swap(d.forms.bytes, d.raw);
        d.forms.hasBytes = d.forms.hasUmp1 = true;
    } else if (*data.protocol == MIDIProtocolID::midi1_0) {
        // Messages of the other protocol are translated, so each form speaks only its own.
        umpToProtocol(d.raw, MIDIProtocolID::midi1_0, d.forms.ump1);
        d.forms.hasUmp1 = true;
    } else {
        umpToProtocol(d.raw, MIDIProtocolID::midi2_0, d.forms.ump2);
        d.forms.hasUmp2 = true;
    }
}

void Services::addDestinationTarget(MIDIEndpointRef destination, std::vector<Target>& targets) {
    const Endpoint* endpoint = find(endpoints_, destination);
    if (endpoint == nullptr) return;
    if (endpoint->receiver) {
        targets.push_back({endpoint->receiver, nullptr, nullptr, Format::bytes});
    } else if (endpoint->sink) {
        const Format format =
            endpoint->deviceProtocol == MIDIProtocolID::midi2_0 ? Format::ump2 : Format::bytes;
        targets.push_back({nullptr, nullptr, endpoint->sink, format});
    }
}

// Called with the lock held, so that deliveries are queued in the order of the sends. The
// delivery holds only what it delivers to, never the services.
void Services::deliver(Lease delivery) {
    if (delivery->targets.empty()) return;
    worker_->enqueue(std::move(delivery));
}

MIDIEndpointRef Services::resolveThruEndpoint(const MIDIThruConnectionEndpoint& entry,
                                              MIDIObjectType type) const {
    if (const Endpoint* e = find(endpoints_, entry.endpointRef); e && e->type == type) {
        return entry.endpointRef;
    }
    if (entry.uniqueID == 0) return 0;
    auto it = uniqueIDs_.find(entry.uniqueID);
    if (it == uniqueIDs_.end()) return 0;
    const Endpoint* e = find(endpoints_, it->second);
    return e && e->type == type ? it->second : 0;
}

OSStatus Services::refuse(Call call, OSStatus status) {
    std::lock_guard lock(mutex_);
    if (OSStatus injected = takeInjected(call)) return injected;
    return status;
}

OSStatus Services::send(MIDIPortRef portRef, MIDIEndpointRef destination, Inbound data) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(Call::send)) return status;
    const Port* port = find(ports_, portRef);
    if (port == nullptr || port->receiver) return kMIDIInvalidPort;
    const Endpoint* endpoint = find(endpoints_, destination);
    if (endpoint == nullptr) return kMIDIUnknownEndpoint;
    if (endpoint->type != MIDIObjectType::destination) return kMIDIWrongEndpointType;
    if (data.delivery->raw.empty()) return noErr;
    makeForms(data, {portRef, destination});
    addDestinationTarget(destination, data.delivery->targets);
    deliver(std::move(data.delivery));
    return noErr;
}

OSStatus Services::publishFrom(Call call, MIDIEndpointRef source, Inbound data, bool byDriver) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(call)) return status;
    const Endpoint* endpoint = find(endpoints_, source);
    if (endpoint == nullptr) return kMIDIUnknownEndpoint;
    if (endpoint->type != MIDIObjectType::source) return kMIDIWrongEndpointType;
    if (byDriver == (endpoint->owner != 0)) return kMIDINotPermitted;
    if (byDriver && data.protocol) data.protocol = endpoint->deviceProtocol;
    if (data.delivery->raw.empty()) return noErr;
    makeForms(data, {source, 0});
    auto& forms = data.delivery->forms;
    auto& targets = data.delivery->targets;
    for (const auto& [ref, port] : ports_) {
        auto it = port.connections.find(source);
        if (it != port.connections.end())
            targets.push_back({port.receiver, it->second, nullptr, Format::bytes});
    }
    // Thru connections that filter get deliveries of their own, queued after this one.
    std::vector<Lease> filtered;
    for (const auto& [ref, thru] : thrus_) {
        const auto& p = thru.params;
        bool listed = false;
        for (uint32_t i = 0; i < p.numSources && !listed; ++i) {
            listed = resolveThruEndpoint(p.sources[i], MIDIObjectType::source) == source;
        }
        if (!listed) continue;
        std::vector<Target>* routedTargets = &targets;
        if (filters(p)) {
            Lease routed = lease();
            const bool one = forms.hasUmp1;
            const auto& ump = forms.get(one ? Format::ump1 : Format::ump2);
            auto& kept = one ? routed->forms.ump1 : routed->forms.ump2;
            for (const auto& packet : ump.packets()) {
                const auto w = ump.words(packet);
                kept.beginWords();
                for (size_t at = 0; at < w.size(); at += umpWordCount(w[at])) {
                    if (!passes(&w[at], p)) continue;
                    for (size_t i = 0; i < umpWordCount(w[at]) && at + i < w.size(); ++i)
                        kept.appendWord(w[at + i]);
                }
                kept.endWords(packet.timeStamp);
            }
            (one ? routed->forms.hasUmp1 : routed->forms.hasUmp2) = true;
            routedTargets = &routed->targets;
            filtered.push_back(std::move(routed));
        }
        for (uint32_t i = 0; i < p.numDestinations; ++i) {
            const MIDIEndpointRef d =
                resolveThruEndpoint(p.destinations[i], MIDIObjectType::destination);
            if (d != 0) addDestinationTarget(d, *routedTargets);
        }
    }
    deliver(std::move(data.delivery));
    for (auto& routed : filtered)
        deliver(std::move(routed));
    return noErr;
}

// ---- Ports ----

OSStatus Services::portCreate(MIDIClientRef client, std::string_view, bool input,
                              std::optional<MIDIProtocolID> protocol, MIDIReadBlock readBlock,
                              MIDIReceiveBlock receiveBlock, MIDIPortRef* out) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(Call::portCreate)) return status;
    if (out == nullptr) return paramErr;
    if (!clients_.contains(client)) return kMIDIInvalidClient;
    if (protocol) {
        if (!validProtocol(*protocol)) return paramErr;
        if (osVersion_ < OperatingSystemVersion{11, 0, 0}) return kMIDINotPermitted;
    }
    Port port;
    port.client = client;
    if (input) {
        port.receiver = std::make_shared<Receiver>();
        if (protocol) {
            port.receiver->receiveBlock = std::move(receiveBlock);
            port.receiver->protocol = *protocol;
        } else {
            port.receiver->readBlock = std::move(readBlock);
        }
    }
    const MIDIPortRef ref = newRef();
    ports_.emplace(ref, std::move(port));
    *out = ref;
    return noErr;
}

void Services::dropPort(MIDIPortRef ref) {
    Port& port = ports_.at(ref);
    if (port.receiver) port.receiver->alive = false;
    for (auto& [source, connection] : port.connections)
        connection->alive = false;
    forgetParsers(ref);
    ports_.erase(ref);
}

void Services::forgetConnectionsTo(MIDIEndpointRef source) {
    for (auto& [ref, port] : ports_)
        port.connections.erase(source);
}

void Services::forgetParsers(MIDIObjectRef ref) {
    std::erase_if(parsers_, [ref](const auto& entry) {
        return entry.first.first == ref || entry.first.second == ref;
    });
}

OSStatus Services::portDispose(MIDIPortRef ref) {
    {
        std::lock_guard lock(mutex_);
        if (OSStatus status = takeInjected(Call::portDispose)) return status;
        if (!ports_.contains(ref)) return kMIDIInvalidPort;
        dropPort(ref);
    }
    waitForBlocks();
    return noErr;
}

OSStatus Services::portConnect(MIDIPortRef ref, MIDIEndpointRef source, void* refCon) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(Call::portConnectSource)) return status;
    Port* port = find(ports_, ref);
    if (port == nullptr || !port->receiver) return kMIDIInvalidPort;
    const Endpoint* endpoint = find(endpoints_, source);
    if (endpoint == nullptr) return kMIDIUnknownEndpoint;
    if (endpoint->type != MIDIObjectType::source) return kMIDIWrongEndpointType;
    auto& connection = port->connections[source];
    // An equal connection stays, with what it has accepted and not yet delivered.
    if (connection && connection->refCon == refCon) return noErr;
    if (connection) connection->alive = false;
    connection = std::make_shared<Connection>(refCon);
    return noErr;
}

OSStatus Services::portDisconnect(MIDIPortRef ref, MIDIEndpointRef source) {
    {
        std::lock_guard lock(mutex_);
        if (OSStatus status = takeInjected(Call::portDisconnectSource)) return status;
        Port* port = find(ports_, ref);
        if (port == nullptr || !port->receiver) return kMIDIInvalidPort;
        auto it = port->connections.find(source);
        if (it == port->connections.end()) return kMIDINoConnection;
        it->second->alive = false;
        port->connections.erase(it);
    }
    waitForBlocks();
    return noErr;
}

// ---- Thru connections ----

OSStatus Services::thruCreate(std::string_view owner, const void* data, size_t size,
                              MIDIThruConnectionRef* out) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(Call::thruConnectionCreate)) return status;
    if (out == nullptr || data == nullptr || size != sizeof(MIDIThruConnectionParams)) {
        return paramErr;
    }
    MIDIThruConnectionParams params;
    std::memcpy(&params, data, sizeof params);
    if (params.version != 0 || params.numSources > kMIDIThruConnection_MaxEndpoints ||
        params.numDestinations > kMIDIThruConnection_MaxEndpoints) {
        return paramErr;
    }
    const MIDIThruConnectionRef ref = newRef();
    thrus_.emplace(ref, Thru{std::string(owner), params});
    auto n = std::make_shared<MIDINotification>();
    n->messageID = MIDINotificationMessageID::thruConnectionsChanged;
    post({std::move(n)});
    *out = ref;
    return noErr;
}

OSStatus Services::thruDispose(MIDIThruConnectionRef ref) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(Call::thruConnectionDispose)) return status;
    if (thrus_.erase(ref) == 0) return kMIDIObjectNotFound;
    auto n = std::make_shared<MIDINotification>();
    n->messageID = MIDINotificationMessageID::thruConnectionsChanged;
    post({std::move(n)});
    return noErr;
}

OSStatus Services::thruFind(std::string_view owner, std::vector<uint8_t>* out) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(Call::thruConnectionFind)) return status;
    if (out == nullptr || owner.empty()) return paramErr;
    std::vector<uint8_t> refs;
    for (const auto& [ref, thru] : thrus_) {
        if (thru.owner != owner) continue;
        const auto* bytes = reinterpret_cast<const uint8_t*>(&ref);
        refs.insert(refs.end(), bytes, bytes + sizeof ref);
    }
    *out = std::move(refs);
    return noErr;
}

// ---- The calls ----

OSStatus MIDIInputPortCreateWithBlock(MIDIClientRef client, std::string_view name,
                                      MIDIPortRef* outPort, MIDIReadBlock readBlock) {
    return Services::current()->portCreate(client, name, true, std::nullopt, std::move(readBlock),
                                           {}, outPort);
}

OSStatus MIDIInputPortCreateWithProtocol(MIDIClientRef client, std::string_view name,
                                         MIDIProtocolID protocol, MIDIPortRef* outPort,
                                         MIDIReceiveBlock receiveBlock) {
    return Services::current()->portCreate(client, name, true, protocol, {},
                                           std::move(receiveBlock), outPort);
}

OSStatus MIDIOutputPortCreate(MIDIClientRef client, std::string_view name, MIDIPortRef* outPort) {
    return Services::current()->portCreate(client, name, false, std::nullopt, {}, {}, outPort);
}

OSStatus MIDIPortDispose(MIDIPortRef port) {
    return Services::current()->portDispose(port);
}

OSStatus MIDIPortConnectSource(MIDIPortRef port, MIDIEndpointRef source, void* connRefCon) {
    return Services::current()->portConnect(port, source, connRefCon);
}

OSStatus MIDIPortDisconnectSource(MIDIPortRef port, MIDIEndpointRef source) {
    return Services::current()->portDisconnect(port, source);
}

namespace {

// Reads a list handed in into a delivery and passes it on with `pass(services, inbound)`; a list
// that runs past its size is refused with paramErr.
template <class List, class Pass>
OSStatus readAndPass(const List* list, size_t listByteCount, Call call, Pass pass) {
    auto services = Services::current();
    Services::Inbound inbound{services->lease(), std::nullopt};
    bool read = false;
    if constexpr (std::is_same_v<List, MIDIPacketList>) {
        read = readPacketList(list, listByteCount, inbound.delivery->raw);
    } else {
        MIDIProtocolID protocol{};
        read = readEventList(list, listByteCount, protocol, inbound.delivery->raw);
        inbound.protocol = protocol;
    }
    if (!read) return services->refuse(call, paramErr);
    return pass(*services, std::move(inbound));
}

}  // namespace

OSStatus MIDISend(MIDIPortRef port, MIDIEndpointRef destination, const MIDIPacketList* list,
                  size_t listByteCount) {
    return readAndPass(list, listByteCount, Call::send, [&](Services& s, Services::Inbound data) {
        return s.send(port, destination, std::move(data));
    });
}

OSStatus MIDISendEventList(MIDIPortRef port, MIDIEndpointRef destination, const MIDIEventList* list,
                           size_t listByteCount) {
    return readAndPass(list, listByteCount, Call::send, [&](Services& s, Services::Inbound data) {
        return s.send(port, destination, std::move(data));
    });
}

OSStatus MIDIReceived(MIDIEndpointRef source, const MIDIPacketList* list, size_t listByteCount) {
    return readAndPass(list, listByteCount, Call::received,
                       [&](Services& s, Services::Inbound data) {
                           return s.publishFrom(Call::received, source, std::move(data), false);
                       });
}

OSStatus MIDIReceivedEventList(MIDIEndpointRef source, const MIDIEventList* list,
                               size_t listByteCount) {
    return readAndPass(list, listByteCount, Call::received,
                       [&](Services& s, Services::Inbound data) {
                           return s.publishFrom(Call::received, source, std::move(data), false);
                       });
}

void MIDIThruConnectionParamsInitialize(MIDIThruConnectionParams* params) {
    if (params != nullptr) *params = MIDIThruConnectionParams{};
}

size_t MIDIThruConnectionParamsSize(const MIDIThruConnectionParams*) {
    return sizeof(MIDIThruConnectionParams);
}

OSStatus MIDIThruConnectionCreate(std::string_view persistentOwnerID, const void* data,
                                  size_t dataSize, MIDIThruConnectionRef* outConnection) {
    return Services::current()->thruCreate(persistentOwnerID, data, dataSize, outConnection);
}

OSStatus MIDIThruConnectionDispose(MIDIThruConnectionRef connection) {
    return Services::current()->thruDispose(connection);
}

OSStatus MIDIThruConnectionFind(std::string_view persistentOwnerID,
                                std::vector<uint8_t>* outConnectionList) {
    return Services::current()->thruFind(persistentOwnerID, outConnectionList);
}

}  // namespace midiservices
