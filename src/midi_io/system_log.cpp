#include "midi_io/system_log.hpp"

#include <syslog.h>

namespace midiio {

void writeToSystemLog(const std::string& line) {
    // The text goes in as an argument, never as the format.
    syslog(LOG_USER | LOG_INFO, "%s", line.c_str());
}

}  // namespace midiio
