// The status codes that MIDI services calls return. A call that succeeds returns noErr; every
// other value names a failure.
#pragma once

#include <cstdint>

namespace midiservices {

// The result of a MIDI services call: noErr, or one of the codes below, or any other value a
// service chooses to report.
using OSStatus = int32_t;

inline constexpr OSStatus noErr = 0;

// An invalid client reference was passed.
inline constexpr OSStatus kMIDIInvalidClient = -10830;
// An invalid port reference was passed.
inline constexpr OSStatus kMIDIInvalidPort = -10831;
// A source was passed where a destination was expected, or the other way round.
inline constexpr OSStatus kMIDIWrongEndpointType = -10832;
// An attempt to close a connection that does not exist.
inline constexpr OSStatus kMIDINoConnection = -10833;
// An invalid endpoint reference was passed.
inline constexpr OSStatus kMIDIUnknownEndpoint = -10834;
// An attempt to read a property that is not set on the object.
inline constexpr OSStatus kMIDIUnknownProperty = -10835;
// An attempt to set a property with a value of the wrong type.
inline constexpr OSStatus kMIDIWrongPropertyType = -10836;
// There is no current MIDI setup.
inline constexpr OSStatus kMIDINoCurrentSetup = -10837;
// Communication with the MIDI server failed.
inline constexpr OSStatus kMIDIMessageSendErr = -10838;
// The MIDI server could not be started.
inline constexpr OSStatus kMIDIServerStartErr = -10839;
// The saved state could not be read.
inline constexpr OSStatus kMIDISetupFormatErr = -10840;
// A driver called a non-I/O function from a thread other than the server's main thread.
inline constexpr OSStatus kMIDIWrongThread = -10841;
// The requested object does not exist.
inline constexpr OSStatus kMIDIObjectNotFound = -10842;
// An attempt to give an object a unique ID that another object already has.
inline constexpr OSStatus kMIDIIDNotUnique = -10843;
// The process is not allowed to perform the operation.
inline constexpr OSStatus kMIDINotPermitted = -10844;
// An internal failure with no more specific code.
inline constexpr OSStatus kMIDIUnknownError = -10845;
// An input or output failure while sending or receiving a message.
inline constexpr OSStatus kMIDIMsgIOError = 7;
// A parameter was invalid.
inline constexpr OSStatus paramErr = -50;

}  // namespace midiservices
