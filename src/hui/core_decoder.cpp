#include "hui/core_decoder.hpp"

#include "midi_support/number_text.hpp"

namespace hui {

using midicore::MIDIEvent;
using midicore::UInt4;
using midicore::UInt7;

namespace {

using Side = eventpayloads::Side;

// "0xB0 0x0B 0x00".
template <class Bytes>
std::string prefixedHex(const Bytes& bytes) {
    return midisupport::hexString(bytes, 2, true, " ");
}

std::string messageBytes(const MIDIEvent& event) {
    const auto bytes = event.midi1RawBytes();
    return prefixedHex(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

std::string stateNibbleText(unsigned nibble) {
    return midisupport::hexString(nibble, true);
}

template <class Character>
Character characterOrUnknown(std::uint8_t byte) {
    return Character::fromByte(byte).value_or(Character::unknownChar());
}

constexpr std::uint8_t vPotNumberMask = 0x0F;

}  // namespace

std::vector<HUICoreEvent> HUICoreDecoder::decode(const MIDIEvent& event) {
    if (role_ == HUIRole::surface && event == protocol::surfacePingReply())
        return {HUICoreEvent::ping()};
    if (role_ == HUIRole::host && event == protocol::hostPing()) return {HUICoreEvent::ping()};

    switch (event.eventCase()) {
        case MIDIEvent::Case::noteOff: {
            const auto& noteOff = *event.getIf<MIDIEvent::NoteOff>();
            const auto velocity = noteOff.velocity.value().midi2Value();
            if (noteOff.note.number == 0 && (velocity == 0x0000 || velocity == 0x8000))
                return {HUICoreEvent::ping()};
            return {};
        }
        case MIDIEvent::Case::notePressure: {
            const auto& pressure = *event.getIf<MIDIEvent::NotePressure>();
            // A note above 15 names no strip: refused rather than read as strip 0.
            const auto strip = UInt4::exactly(pressure.note.number.value());
            if (!strip) return {};
            const auto v = pressure.amount.value().midi1Value().value();
            return {
                HUICoreEvent::levelMeter(*strip, (v & 0x70) ? Side::right : Side::left, v & 0x0F)};
        }
        case MIDIEvent::Case::cc: {
            const auto& cc = *event.getIf<MIDIEvent::CC>();
            auto decoded = decodeControlChange(event, cc.controller.number().value(),
                                               cc.value.value().midi1Value().value());
            if (!decoded) return {};
            return {std::move(*decoded)};
        }
        case MIDIEvent::Case::sysEx7:
            return decodeSysEx(*event.getIf<MIDIEvent::SysEx7>());
        case MIDIEvent::Case::systemReset:
            if (role_ == HUIRole::surface) return {HUICoreEvent::systemReset()};
            return {};
        default:
            return {};
    }
}

std::optional<HUICoreEvent> HUICoreDecoder::decodeControlChange(const MIDIEvent& event,
                                                                std::uint8_t n, std::uint8_t v) {
    if (n >= protocol::faderMSBController &&
        n < protocol::faderMSBController + protocol::stripCount) {
        faderMSB_[n - protocol::faderMSBController] = v;
        return std::nullopt;
    }
    if (n == protocol::jogWheelController) {
        if (role_ == HUIRole::host) {
            throw HUIDecoderError::unhandled(
                "Jog Wheel event decoded but host is not capable of generating Jog Wheel events, "
                "only receiving them.");
        }
        return HUICoreEvent::jogWheel(decodeHUIDelta(UInt7(v)));
    }
    if (n >= protocol::faderLSBController &&
        n < protocol::faderLSBController + protocol::stripCount) {
        const unsigned strip = n - protocol::faderLSBController;
        const auto level = midicore::UInt14::exactly(faderMSB_[strip] * 128u + v);
        if (!level) {
            throw HUIDecoderError::malformed(
                "Received channel strip fader level LSB but combined MSB + LSB value is invalid.");
        }
        return HUICoreEvent::faderLevel(UInt4(strip), *level);
    }
    if ((n >= protocol::vPotToSurface && n <= protocol::vPotToSurface + 12) ||
        (n >= protocol::vPotToHost && n <= protocol::vPotToHost + 12)) {
        const auto vPot = HUIVPot::fromNumber(UInt4::truncating(n & vPotNumberMask));
        if (!vPot) throw HUIDecoderError::malformed("V-Pot ID is invalid.");
        const auto value = role_ == HUIRole::surface
                               ? HUIVPotValue::delta(decodeHUIDelta(UInt7(v)))
                               : HUIVPotValue::display(HUIVPotDisplay::fromRingByte(UInt7(v)));
        return HUICoreEvent::vPot(*vPot, value);
    }
    if (n == protocol::zoneSelectToSurface || n == protocol::zoneSelectToHost) {
        zoneSelect_ = v;
        return std::nullopt;
    }
    if (n == protocol::portToSurface || n == protocol::portToHost) {
        const unsigned state = v >> 4;
        const auto port = UInt4::truncating(v);
        const auto zone = std::exchange(zoneSelect_, std::nullopt);
        if (state == 0 || state == 4) {
            if (!zone) return std::nullopt;
            return HUICoreEvent::switch_(HUISwitch::fromZoneAndPort(*zone, port), state == 4);
        }
        if (state == 2) return std::nullopt;
        const std::string head = "Received " + messageBytes(event) + " (switch cmd msg 2/2)";
        const std::string nibble =
            " but has unexpected state nibble " + stateNibbleText(state) + ".";
        if (!zone) {
            throw HUIDecoderError::unhandled(
                head + nibble +
                " Additionally, could not lookup zone and port name because zone select message "
                "was not received prior. Ignoring message.");
        }
        const auto huiSwitch = HUISwitch::fromZoneAndPort(*zone, port);
        if (huiSwitch.switchCase() == HUISwitch::Case::undefined) {
            throw HUIDecoderError::unhandled(
                head + nibble +
                " Additionally, could not guess zone and port pair name. Ignoring message.");
        }
        throw HUIDecoderError::unhandled(head + " matching " + huiSwitch.description() + nibble +
                                         " Ignoring message.");
    }
    throw HUIDecoderError::malformed(
        "Unrecognized HUI MIDI status 0xB0 data byte 1: " + midisupport::hexString(n, 2, true) +
        " in message: " + messageBytes(event) + ".");
}

std::vector<HUICoreEvent> HUICoreDecoder::decodeSysEx(const MIDIEvent::SysEx7& sysEx) const {
    if (!(sysEx.manufacturer == protocol::sysExManufacturer))
        throw HUIDecoderError::malformed(
            "SysEx manufacturer ID is not Mackie. Ignoring MIDI message.");
    const auto& d = sysEx.data.bytes();
    if (d.size() < 2) throw HUIDecoderError::malformed("Expected more bytes in SysEx.");
    if (d[0] != protocol::sysExSubID1.value() || d[1] != protocol::sysExSubID2.value()) {
        throw HUIDecoderError::malformed(
            "SysEx sub-IDs (first two bytes) are not recognized. It is possible the IDs belong to "
            "hardware other than the Mackie HUI. Raw data: [" +
            midisupport::hexString(d, 2, false, " ") + "]");
    }
    if (d.size() == 2) throw HUIDecoderError::malformed("Expected more bytes in SysEx.");

    const std::uint8_t type = d[2];
    const std::span<const std::uint8_t> payload(d.data() + 3, d.size() - 3);
    std::vector<HUICoreEvent> events;

    if (type == protocol::smallDisplayType.value()) {
        constexpr std::size_t group = 5;
        if (payload.size() % group != 0) {
            throw HUIDecoderError::malformed("Received Small Display text MIDI message " +
                                             prefixedHex(d) + " but length was not expected.");
        }
        for (std::size_t at = 0; at < payload.size(); at += group) {
            std::array<HUISmallDisplayCharacter, 4> chars;
            for (std::size_t i = 0; i < chars.size(); ++i)
                chars[i] = characterOrUnknown<HUISmallDisplayCharacter>(payload[at + 1 + i]);
            const auto text = HUISmallDisplayString::fromChars(chars);
            const std::uint8_t display = payload[at];
            if (display < protocol::stripCount) {
                events.push_back(HUICoreEvent::channelDisplay(UInt4(display), text));
            } else if (display == protocol::selectAssignDisplayNumber) {
                events.push_back(HUICoreEvent::selectAssignDisplay(text));
            } else {
                throw HUIDecoderError::malformed(
                    "Small Display text message channel not expected: " + std::to_string(display) +
                    ".");
            }
        }
        return events;
    }
    if (type == protocol::largeDisplayType.value()) {
        constexpr std::size_t group = 11;
        if (payload.size() % group != 0) {
            throw HUIDecoderError::malformed("Received Large Display text MIDI message " +
                                             prefixedHex(d) + " but length was not expected.");
        }
        // A message without slices changes nothing: no event.
        if (payload.empty()) return events;
        eventpayloads::Slices slices;
        for (std::size_t at = 0; at < payload.size(); at += group) {
            const auto number = UInt4::exactly(payload[at]);
            if (!number) {
                throw HUIDecoderError::malformed(
                    "Encountered out-of-range HUI large display slice index: " +
                    std::to_string(payload[at]));
            }
            std::vector<HUILargeDisplayCharacter> chars;
            for (std::size_t i = 1; i < group; ++i)
                chars.push_back(characterOrUnknown<HUILargeDisplayCharacter>(payload[at + i]));
            slices[*number] = std::move(chars);
        }
        events.push_back(HUICoreEvent::largeDisplay(std::move(slices)));
        return events;
    }
    if (type == protocol::timeDisplayType.value()) {
        if (payload.empty()) {
            throw HUIDecoderError::malformed(
                "Received HUI time display message but did not contain enough bytes.");
        }
        if (payload.size() > protocol::timeDisplayLength) {
            throw HUIDecoderError::malformed(
                "Received HUI time display message but it contained too many bytes.");
        }
        std::vector<HUITimeDisplayCharacter> chars;
        for (const std::uint8_t byte : payload)
            chars.push_back(characterOrUnknown<HUITimeDisplayCharacter>(byte));
        events.push_back(HUICoreEvent::timeDisplay(std::move(chars)));
        return events;
    }
    throw HUIDecoderError::malformed(
        "SysEx header present but subsequent bytes not recognized: " +
        prefixedHex(std::vector<std::uint8_t>(d.begin() + 2, d.end())));
}

void HUICoreDecoder::midiIn(const MIDIEvent& event) {
    std::vector<HUICoreEvent> events;
    try {
        events = decode(event);
    } catch (const HUIDecoderError&) {
        return;
    }
    for (const auto& decoded : events) {
        if (handler_) handler_(decoded);
    }
}

void HUICoreDecoder::reset() {
    faderMSB_.fill(0);
    zoneSelect_.reset();
}

}  // namespace hui
