// MIDI data in the services: input and output ports, sending and publishing packet lists and event
// lists, and thru connections.
//
// Routing. Data published on a source (a device's source through its driver, or a client's virtual
// source through MIDIReceived) reaches every input port connected to that source, with the
// reference value given when it was connected, and every thru connection that lists the source.
// Data sent through an output port reaches the one destination named: a device's destination (its
// driver) or a client's virtual destination (with a null reference value).
//
// Delivery. Every block runs on the services' delivery thread, one delivery at a time, in the
// order the data was sent or published; the list handed to a block is valid only during the call.
// After MIDIPortDisconnectSource, MIDIPortDispose, MIDIEndpointDispose or MIDIClientDispose
// returns, nothing more is delivered through what it ended. Called from a block on one of the
// services' threads, these calls do not wait: no delivery through what they ended starts
// afterwards, but one already running on the other thread may still finish.
//
// Translation. A receiver gets what it asked for whatever the sender used: a legacy port or
// destination gets packet lists of MIDI 1.0 bytes, one created with a protocol gets event lists in
// that protocol (translation.hpp). Same-form data passes unchanged, packet for packet.
//
// Lists passed in are checked against their byte size: a list whose packets run past its end, an
// event packet of 0 or more than 64 words or one that ends inside a message, or an event list of a
// protocol other than 1 and 2, is refused with paramErr and nothing of it is delivered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "midiservices/packets.hpp"
#include "midiservices/services.hpp"

namespace midiservices {

// ---- Ports ----

// An input port of the client that takes packet lists (MIDI 1.0 bytes).
OSStatus MIDIInputPortCreateWithBlock(MIDIClientRef client, std::string_view name,
                                      MIDIPortRef* outPort, MIDIReadBlock readBlock);
// An input port that takes event lists in `protocol`.
OSStatus MIDIInputPortCreateWithProtocol(MIDIClientRef client, std::string_view name,
                                         MIDIProtocolID protocol, MIDIPortRef* outPort,
                                         MIDIReceiveBlock receiveBlock);
OSStatus MIDIOutputPortCreate(MIDIClientRef client, std::string_view name, MIDIPortRef* outPort);
OSStatus MIDIPortDispose(MIDIPortRef port);

// Connects an input port to a source; each delivery from it carries `connRefCon`. Connecting again
// replaces the value. kMIDIInvalidPort for anything but an input port, kMIDIUnknownEndpoint or
// kMIDIWrongEndpointType for anything but a source.
OSStatus MIDIPortConnectSource(MIDIPortRef port, MIDIEndpointRef source, void* connRefCon);
// kMIDINoConnection when the port is not connected to the source.
OSStatus MIDIPortDisconnectSource(MIDIPortRef port, MIDIEndpointRef source);

// ---- Sending and publishing ----

// Sends through an output port to one destination. kMIDIInvalidPort for anything but an output
// port, kMIDIWrongEndpointType when `destination` is a source.
OSStatus MIDISend(MIDIPortRef port, MIDIEndpointRef destination, const MIDIPacketList* list,
                  size_t listByteCount);
OSStatus MIDISendEventList(MIDIPortRef port, MIDIEndpointRef destination, const MIDIEventList* list,
                           size_t listByteCount);
// Publishes on a client's virtual source. kMIDINotPermitted for a device's source,
// kMIDIWrongEndpointType for a destination.
OSStatus MIDIReceived(MIDIEndpointRef source, const MIDIPacketList* list, size_t listByteCount);
OSStatus MIDIReceivedEventList(MIDIEndpointRef source, const MIDIEventList* list,
                               size_t listByteCount);

// ---- Thru connections ----

inline constexpr size_t kMIDIThruConnection_MaxEndpoints = 8;

// An endpoint of a thru connection: by reference, or, when the reference names no live endpoint of
// the right kind, by unique ID (so a connection follows a device that comes back).
struct MIDIThruConnectionEndpoint {
    MIDIEndpointRef endpointRef;
    MIDIUniqueID uniqueID;
};

// The description of a thru connection: up to eight sources and eight destinations, and filters
// that leave out families of messages: System Exclusive, MIDI Time Code quarter frames (F1), beat
// clock and transport (F8, FA, FB, FC), Tune Request (F6), and every control change (with the
// MIDI 2.0 controller messages). Flags are 0 or 1.
struct MIDIThruConnectionParams {
    uint32_t version;
    uint32_t numSources;
    MIDIThruConnectionEndpoint sources[kMIDIThruConnection_MaxEndpoints];
    uint32_t numDestinations;
    MIDIThruConnectionEndpoint destinations[kMIDIThruConnection_MaxEndpoints];
    uint8_t filterOutSysEx;
    uint8_t filterOutMTC;
    uint8_t filterOutBeatClock;
    uint8_t filterOutTuneRequest;
    uint8_t filterOutAllControls;
    uint8_t reserved[3];
};

// Sets every field to its default: version 0, no endpoints, no filters.
void MIDIThruConnectionParamsInitialize(MIDIThruConnectionParams* params);
// The byte size of the data block that describes `params`.
size_t MIDIThruConnectionParamsSize(const MIDIThruConnectionParams* params);

// Creates a thru connection from a data block holding a MIDIThruConnectionParams. With an owner ID
// it is persistent: it outlives every client and is found again by that ID; with an empty one it
// lasts until disposed. paramErr for a block of the wrong size, a version other than 0 or more than
// eight sources or destinations. Notifies thruConnectionsChanged.
OSStatus MIDIThruConnectionCreate(std::string_view persistentOwnerID, const void* data,
                                  size_t dataSize, MIDIThruConnectionRef* outConnection);
OSStatus MIDIThruConnectionDispose(MIDIThruConnectionRef connection);
// The persistent thru connections of an owner ID, as a data block of 32-bit references in host
// byte order (empty when there are none). paramErr for an empty owner ID.
OSStatus MIDIThruConnectionFind(std::string_view persistentOwnerID,
                                std::vector<uint8_t>* outConnectionList);

}  // namespace midiservices
