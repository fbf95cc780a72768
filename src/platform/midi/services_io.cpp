// Ports, sending and publishing, routing, delivery and thru connections of the in-process services.
#include <cstdio>
#include <cstring>
#include <exception>

#include "lists.hpp"
#include "midiservices/io.hpp"
#include "services_core.hpp"

namespace midiservices {

namespace {

using detail::buildEventList;
using detail::buildPacketList;
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

void report(const char* what) {
    std::fprintf(stderr, "MIDI delivery block threw: %s\n", what);
}

}  // namespace

// ---- Forms and delivery ----

const MIDIPackets& Services::Forms::get(Format format) {
    switch (format) {
        case Format::bytes:
            if (!bytes) bytes = umpToBytes(ump1 ? *ump1 : *ump2);
            return *bytes;
        case Format::ump1:
            if (!ump1) ump1 = umpToProtocol(*ump2, MIDIProtocolID::midi1_0);
            return *ump1;
        case Format::ump2:
            if (!ump2) ump2 = umpToProtocol(*ump1, MIDIProtocolID::midi2_0);
            return *ump2;
    }
    return *bytes;
}

std::shared_ptr<Services::Forms> Services::formsOf(Inbound data,
                                                   std::pair<MIDIObjectRef, MIDIObjectRef> sender) {
    auto forms = std::make_shared<Forms>();
    if (!data.protocol) {
        // Bytes are parsed once, here, so that a message split across sends is joined up.
        MIDIPackets ump;
        auto& parser = parsers_[sender];
        for (const auto& packet : data.packets)
            parser.feed(packet, ump);
        forms->ump1 = std::move(ump);
        forms->bytes = std::move(data.packets);
    } else if (*data.protocol == MIDIProtocolID::midi1_0) {
        // Messages of the other protocol are translated, so each form speaks only its own.
        forms->ump1 = umpToProtocol(data.packets, MIDIProtocolID::midi1_0);
    } else {
        forms->ump2 = umpToProtocol(data.packets, MIDIProtocolID::midi2_0);
    }
    return forms;
}

void Services::addDestinationTarget(MIDIEndpointRef destination,
                                    const std::shared_ptr<Forms>& forms,
                                    std::vector<Target>& targets) {
    const Endpoint* endpoint = find(endpoints_, destination);
    if (endpoint == nullptr) return;
    if (endpoint->receiver) {
        targets.push_back({forms, endpoint->receiver, nullptr, nullptr, Format::bytes});
    } else if (endpoint->sink) {
        const Format format =
            endpoint->deviceProtocol == MIDIProtocolID::midi2_0 ? Format::ump2 : Format::bytes;
        targets.push_back({forms, nullptr, nullptr, endpoint->sink, format});
    }
}

// Called with the lock held, so that deliveries are queued in the order of the sends. The task
// holds only what it delivers to, never the services.
void Services::deliver(std::vector<Target> targets) {
    if (targets.empty()) return;
    ioQueue_->async([targets = std::move(targets)] {
        for (const auto& target : targets) {
            try {
                if (const auto& receiver = target.receiver) {
                    if (!receiver->alive || (target.connection && !target.connection->alive)) {
                        continue;
                    }
                    void* refCon = target.connection ? target.connection->refCon : nullptr;
                    if (receiver->readBlock) {
                        const auto& packets = target.forms->get(Format::bytes);
                        if (packets.empty()) continue;
                        auto storage = buildPacketList(packets);
                        receiver->readBlock(storage.list(), refCon);
                    } else if (receiver->receiveBlock) {
                        const bool two = receiver->protocol == MIDIProtocolID::midi2_0;
                        const auto& packets = target.forms->get(two ? Format::ump2 : Format::ump1);
                        if (packets.empty()) continue;
                        auto storage = buildEventList(packets, receiver->protocol);
                        receiver->receiveBlock(storage.list(), refCon);
                    }
                } else if (target.sink) {
                    for (const auto& packet : target.forms->get(target.sinkFormat)) {
                        (*target.sink)(packet);
                    }
                }
            } catch (const std::exception& e) {
                report(e.what());
            } catch (...) {
                report("an exception that is not a std::exception");
            }
        }
    });
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
    if (data.packets.empty()) return noErr;
    std::vector<Target> targets;
    addDestinationTarget(destination, formsOf(std::move(data), {portRef, destination}), targets);
    deliver(std::move(targets));
    return noErr;
}

OSStatus Services::publishFrom(Call call, MIDIEndpointRef source, Inbound data, bool byDriver) {
    std::lock_guard lock(mutex_);
    if (OSStatus status = takeInjected(call)) return status;
    const Endpoint* endpoint = find(endpoints_, source);
    if (endpoint == nullptr) return kMIDIUnknownEndpoint;
    if (endpoint->type != MIDIObjectType::source) return kMIDIWrongEndpointType;
    if (byDriver == (endpoint->owner != 0)) return kMIDINotPermitted;
    if (byDriver && !data.packets.empty() && data.packets.front().bytes.empty()) {
        data.protocol = endpoint->deviceProtocol;
    }
    if (data.packets.empty()) return noErr;
    auto forms = formsOf(std::move(data), {source, 0});
    std::vector<Target> targets;
    for (const auto& [ref, port] : ports_) {
        auto it = port.connections.find(source);
        if (it != port.connections.end()) {
            targets.push_back({forms, port.receiver, it->second, nullptr, Format::bytes});
        }
    }
    for (const auto& [ref, thru] : thrus_) {
        const auto& p = thru.params;
        bool listed = false;
        for (uint32_t i = 0; i < p.numSources && !listed; ++i) {
            listed = resolveThruEndpoint(p.sources[i], MIDIObjectType::source) == source;
        }
        if (!listed) continue;
        auto routed = forms;
        if (filters(p)) {
            const bool one = forms->ump1.has_value();
            const auto& ump = forms->get(one ? Format::ump1 : Format::ump2);
            MIDIPackets kept;
            for (const auto& packet : ump) {
                MIDIDriverPacket left{packet.timeStamp, {}, {}};
                const auto& w = packet.words;
                for (size_t at = 0; at < w.size(); at += umpWordCount(w[at])) {
                    if (passes(&w[at], p)) {
                        left.words.insert(left.words.end(), w.begin() + at,
                                          w.begin() + at + umpWordCount(w[at]));
                    }
                }
                if (!left.words.empty()) kept.push_back(std::move(left));
            }
            routed = std::make_shared<Forms>();
            (one ? routed->ump1 : routed->ump2) = std::move(kept);
        }
        for (uint32_t i = 0; i < p.numDestinations; ++i) {
            const MIDIEndpointRef d =
                resolveThruEndpoint(p.destinations[i], MIDIObjectType::destination);
            if (d != 0) addDestinationTarget(d, routed, targets);
        }
    }
    deliver(std::move(targets));
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

void Services::dropConnectionsTo(MIDIEndpointRef source) {
    for (auto& [ref, port] : ports_) {
        auto it = port.connections.find(source);
        if (it == port.connections.end()) continue;
        it->second->alive = false;
        port.connections.erase(it);
    }
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

OSStatus MIDISend(MIDIPortRef port, MIDIEndpointRef destination, const MIDIPacketList* list,
                  size_t listByteCount) {
    auto services = Services::current();
    auto packets = readPacketList(list, listByteCount);
    if (!packets) return services->refuse(Call::send, paramErr);
    return services->send(port, destination, {std::move(*packets), std::nullopt});
}

OSStatus MIDISendEventList(MIDIPortRef port, MIDIEndpointRef destination, const MIDIEventList* list,
                           size_t listByteCount) {
    auto services = Services::current();
    MIDIProtocolID protocol{};
    auto packets = readEventList(list, listByteCount, protocol);
    if (!packets) return services->refuse(Call::send, paramErr);
    return services->send(port, destination, {std::move(*packets), protocol});
}

OSStatus MIDIReceived(MIDIEndpointRef source, const MIDIPacketList* list, size_t listByteCount) {
    auto services = Services::current();
    auto packets = readPacketList(list, listByteCount);
    if (!packets) return services->refuse(Call::received, paramErr);
    return services->publishFrom(Call::received, source, {std::move(*packets), std::nullopt},
                                 false);
}

OSStatus MIDIReceivedEventList(MIDIEndpointRef source, const MIDIEventList* list,
                               size_t listByteCount) {
    auto services = Services::current();
    MIDIProtocolID protocol{};
    auto packets = readEventList(list, listByteCount, protocol);
    if (!packets) return services->refuse(Call::received, paramErr);
    return services->publishFrom(Call::received, source, {std::move(*packets), protocol}, false);
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
