// The system log of the MIDI I/O layer: the one place where it writes to it. A logging receive
// definition writes there when given this function as its handler:
//
//     MIDIReceiver::eventsLogging(true, midiio::writeToSystemLog)
#pragma once

#include <string>

namespace midiio {

// Writes one line to the system log (syslog, informational, under the process's name).
void writeToSystemLog(const std::string& line);

}  // namespace midiio
