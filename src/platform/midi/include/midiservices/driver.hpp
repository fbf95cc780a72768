// The driver side of the MIDI services: what a driver of MIDI hardware (a simulated device in
// tests, or a bridge to another MIDI system) calls to make devices appear and disappear, to hand
// over what a device's sources play, and to take what is sent to a device's destinations.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "midiservices/host_time.hpp"
#include "midiservices/services.hpp"

namespace midiservices {

// A device to add: its properties and its entities, each with the names of its sources and
// destinations in index order. `protocol` is each endpoint's kMIDIPropertyProtocolID.
struct MIDIDriverEntityDescription {
    std::string name;
    std::vector<std::string> sources;
    std::vector<std::string> destinations;
};
struct MIDIDriverDeviceDescription {
    std::string name;
    std::string model;
    std::string manufacturer;
    MIDIProtocolID protocol = MIDIProtocolID::midi1_0;
    std::vector<MIDIDriverEntityDescription> entities;
};

// The references of an added device, in the order of its description.
struct MIDIDriverDevice {
    struct Entity {
        MIDIEntityRef entity = 0;
        std::vector<MIDIEndpointRef> sources;
        std::vector<MIDIEndpointRef> destinations;
    };
    MIDIDeviceRef device = 0;
    std::vector<Entity> entities;
};

// Adds a device with its entities and endpoints, each with a fresh unique ID. Notifies
// objectAdded for the device, then for each entity (parent: the device), then for each endpoint
// (parent: its entity), then setupChanged.
OSStatus MIDIDriverAddDevice(const MIDIDriverDeviceDescription& description,
                             MIDIDriverDevice* outDevice);
// The unique IDs a driver that names its objects stably (a bridge to another MIDI system) asks
// for, in the order of the description; lists may be shorter than it. Each non-zero ID that no
// live object has is used; any other gets a fresh one.
struct MIDIDriverUniqueIDs {
    struct Entity {
        MIDIUniqueID entity = 0;
        std::vector<MIDIUniqueID> sources;
        std::vector<MIDIUniqueID> destinations;
    };
    MIDIUniqueID device = 0;
    std::vector<Entity> entities;
};
OSStatus MIDIDriverAddDevice(const MIDIDriverDeviceDescription& description,
                             const MIDIDriverUniqueIDs& uniqueIDs, MIDIDriverDevice* outDevice);
// Removes a device with everything it holds. Notifies objectRemoved for each endpoint, then each
// entity, then the device, then setupChanged. kMIDIObjectNotFound when `device` names no device.
OSStatus MIDIDriverRemoveDevice(MIDIDeviceRef device);

// MIDI data between a driver and the services: MIDI 1.0 bytes (a stream, any split) or whole
// Universal MIDI Packets; exactly one of the two is non-empty.
struct MIDIDriverPacket {
    MIDITimeStamp timeStamp = 0;
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> words;
    friend bool operator==(const MIDIDriverPacket&, const MIDIDriverPacket&) = default;
};

// Hands over what a device's source played. paramErr for a packet with neither or both kinds of
// data, or words that end inside a packet; kMIDIUnknownEndpoint when `source` names no endpoint,
// kMIDIWrongEndpointType for a destination, kMIDINotPermitted for a virtual source (its client
// publishes on it).
OSStatus MIDIDriverReceived(MIDIEndpointRef source, MIDIDriverPacket packet);

// Takes what is sent to a device's destination, on a services thread, never under a services lock.
// An empty sink drops it. Same refusals as MIDIDriverReceived, for destinations.
using MIDIDriverSink = std::function<void(const MIDIDriverPacket& packet)>;
OSStatus MIDIDriverSetDestinationSink(MIDIEndpointRef destination, MIDIDriverSink sink);

// Reports a failure of a device's driver: every client is notified ioError.
OSStatus MIDIDriverReportIOError(MIDIDeviceRef device, OSStatus error);

// The number of 32-bit words of a Universal MIDI Packet, from its message type (the top four bits
// of its first word).
constexpr size_t umpWordCount(uint32_t firstWord) {
    constexpr uint8_t counts[16] = {1, 1, 1, 2, 2, 4, 1, 1, 2, 2, 2, 3, 3, 4, 4, 4};
    return counts[firstWord >> 28];
}

}  // namespace midiservices
