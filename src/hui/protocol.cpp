#include "hui/protocol.hpp"

#include <algorithm>

namespace hui {

using midicore::MIDIEvent;
using midicore::UInt4;
using midicore::UInt7;

namespace {

MIDIEvent controlChange(std::uint8_t controller, std::uint8_t value) {
    return MIDIEvent::cc(UInt7(controller),
                         MIDIEvent::ChanVoice7Bit32BitValue::midi1(UInt7(value)));
}

MIDIEvent pingNoteOn(std::uint8_t velocity) {
    return MIDIEvent::noteOn(UInt7(0), MIDIEvent::ChanVoice7Bit16BitValue::midi1(UInt7(velocity)),
                             MIDIEvent::NoteAttribute::none(), UInt4(0), UInt4(0), false);
}

bool isWireStrip(UInt4 channel) {
    return channel.value() < protocol::stripCount;
}

}  // namespace

std::string description(HUIRole role) {
    return role == HUIRole::host ? "host" : "surface";
}

namespace protocol {

const MIDIEvent& hostPing() {
    static const MIDIEvent event = pingNoteOn(0x00);
    return event;
}

const MIDIEvent& surfacePingReply() {
    static const MIDIEvent event = pingNoteOn(0x7F);
    return event;
}

const MIDIEvent& systemResetEvent() {
    static const MIDIEvent event = MIDIEvent::systemReset(UInt4(0));
    return event;
}

}  // namespace protocol

std::vector<MIDIEvent> encodeHUISwitch(std::uint8_t zone, UInt4 port, bool state, HUIRole to) {
    if (zone > 0x7F) return {};
    const bool toSurface = to == HUIRole::surface;
    const auto portByte = static_cast<std::uint8_t>(port.value() + (state ? 0x40 : 0x00));
    return {
        controlChange(toSurface ? protocol::zoneSelectToSurface : protocol::zoneSelectToHost, zone),
        controlChange(toSurface ? protocol::portToSurface : protocol::portToHost, portByte)};
}

std::vector<MIDIEvent> encodeHUIFaderLevel(midicore::UInt14 level, UInt4 channel) {
    if (!isWireStrip(channel)) return {};
    const auto strip = channel.value();
    const auto pair = level.uInt7Pair();
    return {controlChange(static_cast<std::uint8_t>(protocol::faderMSBController + strip),
                          pair.msb.value()),
            controlChange(static_cast<std::uint8_t>(protocol::faderLSBController + strip),
                          pair.lsb.value())};
}

std::vector<MIDIEvent> encodeHUIFaderTouch(bool touched, UInt4 channel) {
    if (!isWireStrip(channel)) return {};
    return {controlChange(protocol::zoneSelectToHost, channel.value()),
            controlChange(protocol::portToHost, touched ? 0x40 : 0x00)};
}

MIDIEvent encodeHUILevelMeter(UInt4 channel, surfacemodel::StereoLevelMeter::Side side,
                              std::int64_t level) {
    using Meter = surfacemodel::StereoLevelMeter;
    const auto clamped = std::clamp(level, Meter::levelMin, Meter::levelMax);
    const auto value =
        static_cast<std::uint8_t>((side == Meter::Side::right ? 0x10 : 0x00) + clamped);
    return MIDIEvent::notePressure(UInt7(channel.value()),
                                   MIDIEvent::ChanVoice7Bit32BitValue::midi1(UInt7(value)));
}

std::optional<MIDIEvent> encodeHUIVPot(UInt7 rawValue, HUIVPot vPot, HUIRole to) {
    if (const auto strip = vPot.channelNumber(); strip && !isWireStrip(*strip)) return std::nullopt;
    const std::uint8_t base =
        to == HUIRole::surface ? protocol::vPotToSurface : protocol::vPotToHost;
    return controlChange(static_cast<std::uint8_t>(base + vPot.number().value()), rawValue.value());
}

UInt7 encodeHUIDelta(midicore::Int7 delta) {
    const int value = delta.intValue();
    const int magnitude = (value < 0 ? -value : value) & 0x3F;
    return UInt7(static_cast<unsigned>(magnitude | (value >= 0 ? 0x40 : 0x00)));
}

midicore::Int7 decodeHUIDelta(UInt7 byte) {
    const int magnitude = byte.value() & 0x3F;
    return midicore::Int7((byte.value() & 0x40) ? magnitude : -magnitude);
}

MIDIEvent encodeHUIJogWheel(midicore::Int7 delta) {
    return controlChange(protocol::jogWheelController, encodeHUIDelta(delta).value());
}

MIDIEvent encodeHUISysEx(std::span<const UInt7> data) {
    std::vector<UInt7> body;
    body.reserve(data.size() + 2);
    body.push_back(protocol::sysExSubID1);
    body.push_back(protocol::sysExSubID2);
    body.insert(body.end(), data.begin(), data.end());
    return MIDIEvent::sysEx7(protocol::sysExManufacturer, std::span<const UInt7>(body));
}

std::optional<MIDIEvent> encodeHUISmallDisplay(HUISmallDisplay display,
                                               const HUISmallDisplayString& text) {
    const auto strip = display.channelNumber();
    if (strip && !isWireStrip(*strip)) return std::nullopt;
    std::vector<UInt7> data{protocol::smallDisplayType,
                            UInt7(strip ? strip->value() : protocol::selectAssignDisplayNumber)};
    for (const auto& c : text.chars())
        data.push_back(c.rawValue());
    return encodeHUISysEx(data);
}

std::optional<MIDIEvent> encodeHUITimeDisplay(
    std::span<const HUITimeDisplayCharacter> charsRightToLeft) {
    if (charsRightToLeft.empty()) return std::nullopt;
    std::vector<UInt7> data{protocol::timeDisplayType};
    for (const auto& c :
         charsRightToLeft.first(std::min(charsRightToLeft.size(), protocol::timeDisplayLength)))
        data.push_back(c.rawValue());
    return encodeHUISysEx(data);
}

std::vector<MIDIEvent> encodeHUILargeDisplay(const surfacemodel::LargeDisplay::Slices& slices) {
    std::vector<MIDIEvent> events;
    for (const auto& [number, chars] : slices) {  // ordered by slice number
        if (chars.empty()) continue;
        std::vector<UInt7> data{protocol::largeDisplayType, UInt7(number.value())};
        for (const auto& c : chars)
            data.push_back(c.rawValue());
        events.push_back(encodeHUISysEx(data));
    }
    return events;
}

}  // namespace hui
