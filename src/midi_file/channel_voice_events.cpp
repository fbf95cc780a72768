#include "midi_file/channel_voice_events.hpp"

#include "midi_file/file_event.hpp"

#include <array>
#include <cmath>
#include <cstdio>

namespace midifile {

namespace {

using namespace midicore::events;
using midicore::UInt14;
using midicore::UInt4;
using midicore::UInt7;
using midicore::UInt7Pair;
using Bytes = std::span<const uint8_t>;
using Field = DecodeFailure::DataField;
using Reason = DecodeFailure::Reason;

std::string doubleText(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.15g", value);
    std::string out = text;
    if (std::isfinite(value) && out.find_first_of(".e") == std::string::npos) out += ".0";
    return out;
}

std::string channelText(UInt4 channel) {
    static constexpr char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[channel.value() & 0xF];
}

std::string noteName(const midicore::MIDINote& note) { return note.stringValue(false, true); }

// What differs between the seven single-message kinds.
template <class P>
struct Kind;

template <>
struct Kind<NoteOn> {
    static constexpr MIDIFileEventType type = MIDIFileEventType::noteOn;
    static constexpr uint8_t nibble = 0x9;
    static constexpr std::array fields{Field::noteNumber, Field::noteVelocity};
    static constexpr const char* word = "NoteOn";
    static NoteOn make(UInt4 channel, uint8_t a, uint8_t b) {
        return NoteOn(midicore::MIDINote(UInt7(a)),
                      midicore::ChanVoice7Bit16BitValue::midi1(UInt7(b)), NoteAttribute::none(),
                      channel, UInt4(0), false);
    }
    static std::string text(const NoteOn& p) {
        return "noteOn:#" + noteName(p.note) + " vel:" + valueText(p.velocity.value()) +
               " chan:" + channelText(p.channel);
    }
};

template <>
struct Kind<NoteOff> {
    static constexpr MIDIFileEventType type = MIDIFileEventType::noteOff;
    static constexpr uint8_t nibble = 0x8;
    static constexpr std::array fields{Field::noteNumber, Field::noteVelocity};
    static constexpr const char* word = "NoteOff";
    static NoteOff make(UInt4 channel, uint8_t a, uint8_t b) {
        return NoteOff(midicore::MIDINote(UInt7(a)),
                       midicore::ChanVoice7Bit16BitValue::midi1(UInt7(b)), NoteAttribute::none(),
                       channel);
    }
    static std::string text(const NoteOff& p) {
        return "noteOff:#" + noteName(p.note) + " vel:" + valueText(p.velocity.value()) +
               " chan:" + channelText(p.channel);
    }
};

template <>
struct Kind<NotePressure> {
    static constexpr MIDIFileEventType type = MIDIFileEventType::notePressure;
    static constexpr uint8_t nibble = 0xA;
    static constexpr std::array fields{Field::noteNumber, Field::notePressure};
    static constexpr const char* word = "PolyPressure";
    static NotePressure make(UInt4 channel, uint8_t a, uint8_t b) {
        return NotePressure(midicore::MIDINote(UInt7(a)),
                            midicore::ChanVoice7Bit32BitValue::midi1(UInt7(b)), channel);
    }
    static std::string text(const NotePressure& p) {
        return "note:" + noteName(p.note) + " pressure:" + valueText(p.amount.value()) +
               " chan:" + channelText(p.channel);
    }
};

template <>
struct Kind<CC> {
    static constexpr MIDIFileEventType type = MIDIFileEventType::cc;
    static constexpr uint8_t nibble = 0xB;
    static constexpr std::array fields{Field::ccNumber, Field::ccValue};
    static constexpr const char* word = "CC";
    static CC make(UInt4 channel, uint8_t a, uint8_t b) {
        return CC(UInt7(a), midicore::ChanVoice7Bit32BitValue::midi1(UInt7(b)), channel);
    }
    static std::string text(const CC& p) {
        return "cc#" + std::to_string(p.controller.number().value()) +
               " val:" + valueText(p.value.value()) + " chan:" + channelText(p.channel);
    }
};

template <>
struct Kind<PitchBend> {
    static constexpr MIDIFileEventType type = MIDIFileEventType::pitchBend;
    static constexpr uint8_t nibble = 0xE;
    static constexpr std::array fields{Field::pitchBendLSB, Field::pitchBendMSB};
    static constexpr const char* word = "PitchBend";
    static PitchBend make(UInt4 channel, uint8_t lsb, uint8_t msb) {
        return PitchBend(midicore::ChanVoice14Bit32BitValue::midi1(
                             UInt14(static_cast<uint16_t>(msb * 128 + lsb))),
                         channel);
    }
    static std::string text(const PitchBend& p) {
        return "bend:" + valueText(p.value.value()) + " chan:" + channelText(p.channel);
    }
};

template <>
struct Kind<Pressure> {
    static constexpr MIDIFileEventType type = MIDIFileEventType::pressure;
    static constexpr uint8_t nibble = 0xD;
    static constexpr std::array fields{Field::channelPressure};
    static constexpr const char* word = "ChanPressure";
    static Pressure make(UInt4 channel, uint8_t a, uint8_t) {
        return Pressure(midicore::ChanVoice7Bit32BitValue::midi1(UInt7(a)), channel);
    }
    static std::string text(const Pressure& p) {
        return "pressure:" + valueText(p.amount.value()) + " chan:" + channelText(p.channel);
    }
};

template <>
struct Kind<ProgramChange> {
    static constexpr MIDIFileEventType type = MIDIFileEventType::programChange;
    static constexpr uint8_t nibble = 0xC;
    static constexpr std::array fields{Field::program};
    static constexpr const char* word = "ProgChange";
    static ProgramChange make(UInt4 channel, uint8_t a, uint8_t) {
        return ProgramChange(UInt7(a), ProgramChange::Bank::noBankSelect(), channel);
    }
    static std::string text(const ProgramChange& p) {
        return "prgm#" + std::to_string(p.program.value()) + " chan:" + channelText(p.channel);
    }
};

template <class P>
constexpr size_t messageLength = 1 + Kind<P>::fields.size();

std::vector<uint8_t> toVector(const midicore::MIDI1Bytes& bytes) {
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// --- Parameter number runs

struct ParameterRun {
    UInt7Pair parameter;
    UInt7 dataEntryMSB;
    std::optional<UInt7> dataEntryLSB;
    UInt4 channel;
    int64_t byteCount;
};

struct RunMessage {
    uint8_t status;
    uint8_t value;
};

// One message of a run at `offset`: a complete CC with its own status byte, of the expected
// controller and, after the first message, on the channel of the first.
DecodeResult<RunMessage> readRunMessage(Bytes stream, size_t offset, uint8_t expected,
                                        std::optional<uint8_t> heldStatus) {
    if (offset < stream.size() && stream[offset] < 0x80 && !heldStatus) {
        return DecodeFailure(Reason::missingRunningStatus);
    }
    if (stream.size() < offset + 3 || (stream[offset] >> 4) != 0xB || stream[offset + 1] > 0x7F ||
        stream[offset + 2] > 0x7F) {
        return DecodeFailure(Reason::notAControlChange, expected);
    }
    if (stream[offset + 1] != expected) {
        return DecodeFailure(Reason::unexpectedController, expected, stream[offset + 1]);
    }
    if (heldStatus && *heldStatus != stream[offset]) return DecodeFailure(Reason::differentChannel);
    return RunMessage{stream[offset], stream[offset + 2]};
}

DecodeResult<ParameterRun> readParameterRun(Bytes stream, midicore::MIDIParameterNumberType type) {
    const auto controllers = midicore::controllers(type);
    const std::array<uint8_t, 3> expected{controllers.msb.number().value(),
                                          controllers.lsb.number().value(), 6};
    std::array<uint8_t, 3> values{};
    std::optional<uint8_t> status;
    for (size_t i = 0; i < expected.size(); ++i) {
        const auto message = readRunMessage(stream, i * 3, expected[i], status);
        if (!message) return message.failure();
        status = message->status;
        values[i] = message->value;
    }
    ParameterRun run{{UInt7(values[0]), UInt7(values[1])},
                     UInt7(values[2]),
                     std::nullopt,
                     UInt4(*status & 0x0F),
                     9};
    if (const auto lsb = readRunMessage(stream, 9, 38, status)) {
        run.dataEntryLSB = UInt7(lsb->value);
        run.byteCount = 12;
    }
    return run;
}

void appendCC(std::vector<uint8_t>& out, UInt4 channel, uint8_t controller, UInt7 value) {
    out.insert(out.end(), {static_cast<uint8_t>(0xB0 | channel.value()), controller, value.value()});
}

template <class Parameter>
std::vector<uint8_t> runBytes(const Parameter& parameter, UInt4 channel) {
    const auto controllers = Parameter::controllers();
    const UInt7Pair number = parameter.parameterBytes();
    const DataEntryBytes data = parameter.dataEntryBytes();
    std::vector<uint8_t> out;
    out.reserve(12);
    appendCC(out, channel, controllers.msb.number().value(), number.msb);
    appendCC(out, channel, controllers.lsb.number().value(), number.lsb);
    if (data.msb) appendCC(out, channel, 6, *data.msb);
    if (data.lsb) appendCC(out, channel, 38, *data.lsb);
    return out;
}

template <class P>
struct ParameterKind;

template <>
struct ParameterKind<RPN> {
    static constexpr MIDIFileEventType type = MIDIFileEventType::rpn;
    static constexpr auto numberType = midicore::MIDIParameterNumberType::registered;
    static constexpr const char* word = "rpn:";
    static constexpr const char* debugWord = "RPN(";
    static RPN make(const ParameterRun& run) {
        return RPN(registeredParameter(run.parameter, run.dataEntryMSB, run.dataEntryLSB),
                   midicore::MIDI2ParameterNumberChange::absolute, run.channel);
    }
};

template <>
struct ParameterKind<NRPN> {
    static constexpr MIDIFileEventType type = MIDIFileEventType::nrpn;
    static constexpr auto numberType = midicore::MIDIParameterNumberType::assignable;
    static constexpr const char* word = "nrpn:";
    static constexpr const char* debugWord = "NRPN(";
    static NRPN make(const ParameterRun& run) {
        return NRPN(assignableParameter(run.parameter, run.dataEntryMSB, run.dataEntryLSB),
                    midicore::MIDI2ParameterNumberChange::absolute, run.channel);
    }
};

// The value's case and number; the 14-bit values add a bipolar case.
template <class Value>
std::string caseValueText(const Value& value) {
    using Case = typename Value::Case;
    if constexpr (requires { Case::bipolarUnitInterval; }) {
        if (value.valueCase() == Case::bipolarUnitInterval) {
            return "bipolarUnitInterval(" + doubleText(value.bipolarUnitIntervalValue()) + ")";
        }
    }
    switch (value.valueCase()) {
        case Case::unitInterval:
            return "unitInterval(" + doubleText(value.unitIntervalValue()) + ")";
        case Case::midi1:
            return "midi1(" + std::to_string(value.midi1Value().value()) + ")";
        case Case::midi2:
            return "midi2(" + std::to_string(value.midi2Value()) + ")";
        default:
            return {};
    }
}

bool isReset(UInt7Pair parameter) {
    return parameter.msb.value() == 127 && parameter.lsb.value() == 127;
}

}  // namespace

std::string valueText(const midicore::ChanVoice7Bit16BitValue& value) {
    return caseValueText(value);
}
std::string valueText(const midicore::ChanVoice7Bit32BitValue& value) {
    return caseValueText(value);
}
std::string valueText(const midicore::ChanVoice14Bit32BitValue& value) {
    return caseValueText(value);
}

RegisteredController registeredParameter(UInt7Pair parameter, std::optional<UInt7> dataEntryMSB,
                                         std::optional<UInt7> dataEntryLSB) {
    if (isReset(parameter) && (dataEntryMSB || dataEntryLSB)) {
        return RegisteredController::raw(parameter, dataEntryMSB, dataEntryLSB);
    }
    return RegisteredController::fromParameter(parameter, dataEntryMSB, dataEntryLSB);
}

AssignableController assignableParameter(UInt7Pair parameter, std::optional<UInt7> dataEntryMSB,
                                         std::optional<UInt7> dataEntryLSB) {
    if (isReset(parameter) && !dataEntryMSB && !dataEntryLSB) return AssignableController::null();
    return AssignableController::raw(parameter, dataEntryMSB, dataEntryLSB);
}

namespace detail {

template <class P>
MIDIFileEventType ChannelVoiceCodec<P>::eventType() {
    return Kind<P>::type;
}

// Why the message at the front of `bytes` is not of P's kind, or none when it is.
template <class P>
std::optional<DecodeFailure> refusal(Bytes bytes) {
    if ((bytes[0] >> 4) != Kind<P>::nibble) {
        return DecodeFailure(Reason::invalidStatusNibble, bytes[0] >> 4);
    }
    for (size_t i = 1; i < messageLength<P>; ++i) {
        if (bytes[i] > 0x7F) {
            return DecodeFailure(Reason::dataByteOutOfBounds,
                                 static_cast<int64_t>(Kind<P>::fields[i - 1]), bytes[i]);
        }
    }
    return std::nullopt;
}

template <class P>
P made(Bytes bytes) {
    constexpr size_t length = messageLength<P>;
    return Kind<P>::make(UInt4(bytes[0] & 0x0F), bytes[1], length > 2 ? bytes[length - 1] : 0);
}

template <class P>
DecodeResult<P> ChannelVoiceCodec<P>::fromRawBytes(Bytes bytes) {
    constexpr size_t length = messageLength<P>;
    if (bytes.size() != length) {
        return DecodeFailure(Reason::invalidByteCount, static_cast<int64_t>(length),
                             static_cast<int64_t>(bytes.size()));
    }
    if (const auto failure = refusal<P>(bytes)) return *failure;
    return made<P>(bytes);
}

template <class P>
StreamDecodeResult<P> ChannelVoiceCodec<P>::decode(Bytes stream) {
    constexpr size_t length = messageLength<P>;
    if (stream.size() < length) return DecodeFailure(Reason::unexpectedByteLength);
    if (const auto failure = refusal<P>(stream)) return *failure;
    // Built in place: this runs for most events of a track.
    return Decoded<P>{made<P>(stream), static_cast<int64_t>(length)};
}

template <class P>
std::vector<uint8_t> ChannelVoiceCodec<P>::smfRawBytes(const P& payload) {
    return toVector(payload.midi1RawBytes());
}

template <class P>
std::string ChannelVoiceCodec<P>::description(const P& payload) {
    return Kind<P>::text(payload);
}

template <class P>
std::string ChannelVoiceCodec<P>::debugDescription(const P& payload) {
    return std::string(Kind<P>::word) + "(" + Kind<P>::text(payload) + ")";
}

// Appends the message of P's kind whose data bytes start at `data` when they are valid; the
// number of data bytes, or 0.
template <class P>
[[gnu::always_inline]] inline size_t appendIfValid(UInt4 channel, const uint8_t* data, size_t available, DeltaTime delta,
                     std::vector<MIDIFileEvent>& events) {
    constexpr size_t count = messageLength<P> - 1;
    if (available < count) return 0;
    const uint8_t a = data[0];
    const uint8_t b = count > 1 ? data[count - 1] : 0;
    if ((a | b) > 0x7F) return 0;
    events.emplace_back(delta, Kind<P>::make(channel, a, b));
    return count;
}

size_t appendChannelEvents(Bytes body, size_t offset, uint8_t& runningStatus,
                           uint64_t& carriedDelta, std::vector<MIDIFileEvent>& events) {
    const uint8_t* const bytes = body.data();
    const size_t size = body.size();
    while (size - offset >= 4) {
        // The delta time: up to four bytes, bit 7 set in all but the last.
        size_t at = offset;
        uint64_t ticks = 0;
        for (size_t i = 0;; ++i) {
            if (i == 4) return offset;
            const uint8_t byte = bytes[at++];
            ticks = ticks << 7 | (byte & 0x7F);
            if (byte < 0x80) break;
        }
        if (at >= size) return offset;
        const bool running = bytes[at] < 0x80;
        const uint8_t status = running ? runningStatus : bytes[at];
        if (status < 0x80 || status > 0xEF) return offset;
        if (!running) ++at;
        const uint8_t* const data = bytes + at;
        const size_t available = size - at;
        if ((status >> 4) == 0xB && available > 0 && (data[0] == 99 || data[0] == 101)) {
            return offset;
        }
        const DeltaTime delta = DeltaTime::ticks(
            static_cast<uint32_t>(std::min<uint64_t>(carriedDelta + ticks, 0x0FFFFFFF)));
        const UInt4 channel(status & 0x0F);
        size_t taken = 0;
        switch (status >> 4) {
            case 0x8:
                taken = appendIfValid<NoteOff>(channel, data, available, delta, events);
                break;
            case 0x9:
                taken = appendIfValid<NoteOn>(channel, data, available, delta, events);
                break;
            case 0xA:
                taken = appendIfValid<NotePressure>(channel, data, available, delta, events);
                break;
            case 0xB:
                taken = appendIfValid<CC>(channel, data, available, delta, events);
                break;
            case 0xC:
                taken = appendIfValid<ProgramChange>(channel, data, available, delta, events);
                break;
            case 0xD:
                taken = appendIfValid<Pressure>(channel, data, available, delta, events);
                break;
            default:
                taken = appendIfValid<PitchBend>(channel, data, available, delta, events);
                break;
        }
        if (taken == 0) return offset;
        offset = at + taken;
        runningStatus = status;
        carriedDelta = 0;
    }
    return offset;
}

template struct ChannelVoiceCodec<NoteOn>;
template struct ChannelVoiceCodec<NoteOff>;
template struct ChannelVoiceCodec<NotePressure>;
template struct ChannelVoiceCodec<CC>;
template struct ChannelVoiceCodec<PitchBend>;
template struct ChannelVoiceCodec<Pressure>;
template struct ChannelVoiceCodec<ProgramChange>;

template <class P>
MIDIFileEventType ParameterNumberCodec<P>::eventType() {
    return ParameterKind<P>::type;
}

template <class P>
DecodeResult<P> ParameterNumberCodec<P>::fromRawBytes(Bytes bytes) {
    auto decoded = decode(bytes);
    if (!decoded) return decoded.failure();
    return decoded->payload;
}

template <class P>
StreamDecodeResult<P> ParameterNumberCodec<P>::decode(Bytes stream) {
    const auto run = readParameterRun(stream, ParameterKind<P>::numberType);
    if (!run) return run.failure();
    return Decoded<P>{ParameterKind<P>::make(*run), run->byteCount};
}

template <class P>
std::vector<uint8_t> ParameterNumberCodec<P>::smfRawBytes(const P& payload) {
    return runBytes(payload.parameter, payload.channel);
}

template <class P>
std::string ParameterNumberCodec<P>::description(const P& payload) {
    std::string text = ParameterKind<P>::word + payload.parameter.description();
    if (payload.change == midicore::MIDI2ParameterNumberChange::relative) text += " - relative";
    return text;
}

template <class P>
std::string ParameterNumberCodec<P>::debugDescription(const P& payload) {
    return ParameterKind<P>::debugWord + description(payload) + ")";
}

template struct ParameterNumberCodec<RPN>;
template struct ParameterNumberCodec<NRPN>;

}  // namespace detail

}  // namespace midifile
