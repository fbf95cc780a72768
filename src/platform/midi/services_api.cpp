// The C-style calls: each one goes to the process's current services.
#include "midiservices/driver.hpp"
#include "midiservices/network_session.hpp"
#include "midiservices/services.hpp"
#include "services_core.hpp"

namespace midiservices {

namespace {

std::shared_ptr<Services> services() {
    return Services::current();
}

}  // namespace

OperatingSystemVersion MIDIServicesOperatingSystemVersion() {
    return services()->operatingSystemVersion();
}

OSStatus MIDIClientCreateWithBlock(std::string_view name, MIDIClientRef* outClient,
                                   MIDINotifyBlock notifyBlock) {
    return services()->clientCreate(name, outClient, std::move(notifyBlock));
}

OSStatus MIDIClientDispose(MIDIClientRef client) {
    return services()->clientDispose(client);
}

OSStatus MIDISourceCreate(MIDIClientRef client, std::string_view name, MIDIEndpointRef* outSource) {
    return services()->virtualEndpointCreate(
        {client, name, MIDIObjectType::source, std::nullopt, {}, {}}, outSource);
}

OSStatus MIDISourceCreateWithProtocol(MIDIClientRef client, std::string_view name,
                                      MIDIProtocolID protocol, MIDIEndpointRef* outSource) {
    return services()->virtualEndpointCreate(
        {client, name, MIDIObjectType::source, protocol, {}, {}}, outSource);
}

OSStatus MIDIDestinationCreateWithBlock(MIDIClientRef client, std::string_view name,
                                        MIDIEndpointRef* outDestination, MIDIReadBlock readBlock) {
    return services()->virtualEndpointCreate(
        {client, name, MIDIObjectType::destination, std::nullopt, std::move(readBlock), {}},
        outDestination);
}

OSStatus MIDIDestinationCreateWithProtocol(MIDIClientRef client, std::string_view name,
                                           MIDIProtocolID protocol, MIDIEndpointRef* outDestination,
                                           MIDIReceiveBlock receiveBlock) {
    return services()->virtualEndpointCreate(
        {client, name, MIDIObjectType::destination, protocol, {}, std::move(receiveBlock)},
        outDestination);
}

OSStatus MIDIEndpointDispose(MIDIEndpointRef endpoint) {
    return services()->endpointDispose(endpoint);
}

ItemCount MIDIGetNumberOfDevices() {
    return services()->deviceCount();
}

MIDIDeviceRef MIDIGetDevice(ItemCount index) {
    return services()->device(index);
}

ItemCount MIDIDeviceGetNumberOfEntities(MIDIDeviceRef device) {
    return services()->entityCount(device);
}

MIDIEntityRef MIDIDeviceGetEntity(MIDIDeviceRef device, ItemCount index) {
    return services()->entity(device, index);
}

ItemCount MIDIEntityGetNumberOfSources(MIDIEntityRef entity) {
    return services()->entityEndpointCount(entity, MIDIObjectType::source);
}

MIDIEndpointRef MIDIEntityGetSource(MIDIEntityRef entity, ItemCount index) {
    return services()->entityEndpoint(entity, MIDIObjectType::source, index);
}

ItemCount MIDIEntityGetNumberOfDestinations(MIDIEntityRef entity) {
    return services()->entityEndpointCount(entity, MIDIObjectType::destination);
}

MIDIEndpointRef MIDIEntityGetDestination(MIDIEntityRef entity, ItemCount index) {
    return services()->entityEndpoint(entity, MIDIObjectType::destination, index);
}

ItemCount MIDIGetNumberOfSources() {
    return services()->systemEndpointCount(MIDIObjectType::source);
}

MIDIEndpointRef MIDIGetSource(ItemCount index) {
    return services()->systemEndpoint(MIDIObjectType::source, index);
}

ItemCount MIDIGetNumberOfDestinations() {
    return services()->systemEndpointCount(MIDIObjectType::destination);
}

MIDIEndpointRef MIDIGetDestination(ItemCount index) {
    return services()->systemEndpoint(MIDIObjectType::destination, index);
}

OSStatus MIDIEndpointGetEntity(MIDIEndpointRef endpoint, MIDIEntityRef* outEntity) {
    return services()->endpointGetEntity(endpoint, outEntity);
}

OSStatus MIDIEntityGetDevice(MIDIEntityRef entity, MIDIDeviceRef* outDevice) {
    return services()->entityGetDevice(entity, outDevice);
}

OSStatus MIDIObjectFindByUniqueID(MIDIUniqueID uniqueID, MIDIObjectRef* outObject,
                                  MIDIObjectType* outType) {
    return services()->findByUniqueID(uniqueID, outObject, outType);
}

OSStatus MIDIObjectGetStringProperty(MIDIObjectRef object, std::string_view key, std::string* out) {
    return services()->getProperty(Call::objectGetStringProperty, object, key, out);
}

OSStatus MIDIObjectGetIntegerProperty(MIDIObjectRef object, std::string_view key, int32_t* out) {
    return services()->getProperty(Call::objectGetIntegerProperty, object, key, out);
}

OSStatus MIDIObjectGetDictionaryProperty(MIDIObjectRef object, std::string_view key,
                                         MIDIDictionary* out) {
    return services()->getProperty(Call::objectGetDictionaryProperty, object, key, out);
}

OSStatus MIDIObjectSetStringProperty(MIDIObjectRef object, std::string_view key,
                                     std::string_view value) {
    return services()->setProperty(Call::objectSetStringProperty, object, key, std::string(value));
}

OSStatus MIDIObjectSetIntegerProperty(MIDIObjectRef object, std::string_view key, int32_t value) {
    return services()->setProperty(Call::objectSetIntegerProperty, object, key, value);
}

OSStatus MIDIObjectSetDictionaryProperty(MIDIObjectRef object, std::string_view key,
                                         const MIDIDictionary& value) {
    return services()->setProperty(Call::objectSetDictionaryProperty, object, key, value);
}

OSStatus MIDIObjectRemoveProperty(MIDIObjectRef object, std::string_view key) {
    return services()->removeProperty(object, key);
}

OSStatus MIDIDriverAddDevice(const MIDIDriverDeviceDescription& description,
                             MIDIDriverDevice* outDevice) {
    return services()->driverAddDevice(description, {}, outDevice);
}

OSStatus MIDIDriverAddDevice(const MIDIDriverDeviceDescription& description,
                             const MIDIDriverUniqueIDs& uniqueIDs, MIDIDriverDevice* outDevice) {
    return services()->driverAddDevice(description, uniqueIDs, outDevice);
}

OSStatus MIDIDriverRemoveDevice(MIDIDeviceRef device) {
    return services()->driverRemoveDevice(device);
}

OSStatus MIDIDriverReceived(MIDIEndpointRef source, MIDIDriverPacket packet) {
    return services()->driverReceived(source, std::move(packet));
}

OSStatus MIDIDriverSetDestinationSink(MIDIEndpointRef destination, MIDIDriverSink sink) {
    return services()->driverSetSink(destination, std::move(sink));
}

OSStatus MIDIDriverReportIOError(MIDIDeviceRef device, OSStatus error) {
    return services()->driverReportIOError(device, error);
}

// ---- Network session ----

bool MIDINetworkSessionIsEnabled() {
    return Services::current()->networkSession().enabled;
}

void MIDINetworkSessionSetEnabled(bool enabled) {
    Services::current()->changeNetworkSession([enabled](auto& s) { s.enabled = enabled; });
}

uint32_t MIDINetworkSessionGetConnectionPolicy() {
    return Services::current()->networkSession().connectionPolicy;
}

void MIDINetworkSessionSetConnectionPolicy(uint32_t policy) {
    Services::current()->changeNetworkSession([policy](auto& s) { s.connectionPolicy = policy; });
}

uint64_t MIDINetworkSessionAddObserver(MIDINetworkSessionObserver observer) {
    return Services::current()->addNetworkSessionObserver(std::move(observer));
}

void MIDINetworkSessionRemoveObserver(uint64_t token) {
    Services::current()->removeNetworkSessionObserver(token);
}

}  // namespace midiservices
