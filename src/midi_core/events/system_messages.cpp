#include <string_view>

#include "midi_core/events/system_common.hpp"
#include "midi_core/events/system_real_time.hpp"
#include "midi_support/number_text.hpp"
#include "text.hpp"

namespace midicore::events {

namespace {

constexpr std::string_view statusOnlyMessageName(uint8_t status) {
    switch (status) {
        case 0xF6: return "tuneRequest";
        case 0xF8: return "timingClock";
        case 0xFA: return "start";
        case 0xFB: return "continue";
        case 0xFC: return "stop";
        case 0xFE: return "activeSensing";
        case 0xFF: return "systemReset";
        default: return "systemMessage";
    }
}

// "name(label" + value + ", group: 0x3)", the text of every message with one value and a group.
std::string valueAndGroupText(std::string_view name, std::string_view label,
                              const std::string& value, UInt4 group) {
    std::string text(name);
    text += '(';
    text += label;
    text += value;
    text += ", group: ";
    text += text::nibble(group);
    text += ')';
    return text;
}

}  // namespace

template <uint8_t Status>
std::string StatusOnlyMessage<Status>::description() const {
    return std::string(statusOnlyMessageName(Status)) + "(group: " + text::nibble(group) + ")";
}

template struct StatusOnlyMessage<0xF6>;
template struct StatusOnlyMessage<0xF8>;
template struct StatusOnlyMessage<0xFA>;
template struct StatusOnlyMessage<0xFB>;
template struct StatusOnlyMessage<0xFC>;
template struct StatusOnlyMessage<0xFE>;
template struct StatusOnlyMessage<0xFF>;

std::string TimecodeQuarterFrame::description() const {
    return valueAndGroupText("timecodeQF", "", midisupport::binaryString(dataByte.value(), 8, true),
                             group);
}

std::string SongPositionPointer::description() const {
    return valueAndGroupText("songPositionPointer", "beat: ", std::to_string(midiBeat.value()), group);
}

std::string SongSelect::description() const {
    return valueAndGroupText("songSelect", "number: ", std::to_string(number.value()), group);
}

std::string UnofficialBusSelect::description() const {
    return valueAndGroupText("unofficialBusSelect", "bus: ", std::to_string(bus.value()), group);
}

// Utility messages.

std::string NoOp::description() const { return "noOp(group: " + text::nibble(group) + ")"; }

template <MIDIUMPUtilityStatusField Status>
std::string JRTimeMessage<Status>::description() const {
    const auto name = Status == MIDIUMPUtilityStatusField::jrClock ? "jrClock" : "jrTimestamp";
    return valueAndGroupText(name, "", std::to_string(time), group);
}

template struct JRTimeMessage<MIDIUMPUtilityStatusField::jrClock>;
template struct JRTimeMessage<MIDIUMPUtilityStatusField::jrTimestamp>;

}  // namespace midicore::events
