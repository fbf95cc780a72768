// The network MIDI session of the services: who may connect to this computer's session over the
// network, and whether it is enabled. A stand-in that keeps its settings and tells observers of
// their changes; there is no network MIDI transport here, so no host is announced and no peer
// connects whatever the settings say.
#pragma once

#include <cstdint>
#include <functional>

namespace midiservices {

// Who may connect, as the session's raw connection policy: 0 no one, 1 the hosts in the contact
// list, 2 anyone. Other values are kept as they are given.
inline constexpr uint32_t kMIDINetworkConnectionPolicy_NoOne = 0;
inline constexpr uint32_t kMIDINetworkConnectionPolicy_HostsInContactList = 1;
inline constexpr uint32_t kMIDINetworkConnectionPolicy_Anyone = 2;

// The default session of the current services; it starts disabled with policy 0.
bool MIDINetworkSessionIsEnabled();
void MIDINetworkSessionSetEnabled(bool enabled);
uint32_t MIDINetworkSessionGetConnectionPolicy();
void MIDINetworkSessionSetConnectionPolicy(uint32_t policy);

// Observers of the session: called after each setting that changed something, on the services'
// notification thread, one at a time, never under a lock of the services. The token is never 0.
// Once MIDINetworkSessionRemoveObserver returns (called from any other thread than the
// notification thread), the observer is not running and is not called again.
using MIDINetworkSessionObserver = std::function<void()>;
uint64_t MIDINetworkSessionAddObserver(MIDINetworkSessionObserver observer);
void MIDINetworkSessionRemoveObserver(uint64_t token);

}  // namespace midiservices
