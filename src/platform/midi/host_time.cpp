#include "midiservices/host_time.hpp"

#include <chrono>

namespace midiservices {

MIDITimeStamp currentHostTime() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<MIDITimeStamp>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
}

}  // namespace midiservices
