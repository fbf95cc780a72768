#include "midi_file/track_codec.hpp"

#include <algorithm>
#include <array>
#include <type_traits>
#include <variant>

#include "midi_file/variable_length.hpp"
#include "midi_support/number_text.hpp"

namespace midifile {

namespace {

using Bytes = std::span<const uint8_t>;
using Payload = MIDIFileEvent::Payload;
using namespace midicore::events;

constexpr uint32_t maxDelta = 0x0FFFFFFF;
constexpr std::array<uint8_t, 3> endOfTrack{0xFF, 0x2F, 0x00};

MIDIFileDecodeError malformed(const std::string& message) {
    return MIDIFileDecodeError::malformed(message);
}

// Tries the decoders of Ps in order; the first that takes the window hands its Decoded<P> to
// `take`.
template <class... Ps, class Take>
bool firstOf(Bytes window, Take& take) {
    return ([&] {
        auto decoded = PayloadCodec<Ps>::decode(window);
        if (!decoded) return false;
        take(std::move(decoded).value());
        return true;
    }() || ...);
}

// The decoders that can take an event of the window's status byte, in the fixed order: each
// decoder takes only its own status byte, so the others need not be tried.
template <class Take>
bool decodeFront(Bytes window, Take&& take) {
    if (window.empty()) return false;
    switch (window[0] >> 4) {
        case 0x8:
            return firstOf<NoteOff>(window, take);
        case 0x9:
            return firstOf<NoteOn>(window, take);
        case 0xA:
            return firstOf<NotePressure>(window, take);
        case 0xB:
            return firstOf<RPN, NRPN, CC>(window, take);
        case 0xC:
            return firstOf<ProgramChange>(window, take);
        case 0xD:
            return firstOf<Pressure>(window, take);
        case 0xE:
            return firstOf<PitchBend>(window, take);
        default:
            break;
    }
    if (window[0] == 0xF0) {
        if (firstOf<SysEx7, UniversalSysEx7>(window, take)) return true;
        auto empty = decodeEmptySysEx7(window);
        if (!empty) return false;
        take(std::move(empty).value());
        return true;
    }
    if (window[0] == 0xFF) {
        return firstOf<KeySignature, SMPTEOffset, Text, TimeSignature, Tempo, SequencerSpecific,
                       SequenceNumber, ChannelPrefix, PortPrefix, XMFPatchTypePrefix,
                       UnrecognizedMeta>(window, take);
    }
    return false;
}

std::string unexpectedDataMessage(int64_t offset, Bytes next) {
    std::string text = "Unexpected data encountered before end of track at track data byte offset " +
                        midisupport::hexString(offset, true) + " (";
    const size_t count = std::min<size_t>(next.size(), 8);
    text += midisupport::hexString(next.first(count), 2, true, " ");
    return text + " ...).";
}

const CC* controlChange(const MIDIFileEvent& event) { return event.payloadIf<CC>(); }

// A parameter change written as separate events starting at `events[i]`: the number of events it
// spans and the joined event, or none.
std::optional<std::pair<size_t, MIDIFileEvent>> separatedParameterRun(
    std::span<const MIDIFileEvent> events) {
    const CC* first = controlChange(events[0]);
    if (!first) return std::nullopt;
    const uint8_t number = first->controller.number().value();
    if (number != 101 && number != 99) return std::nullopt;
    const bool registered = number == 101;
    const uint8_t expected[] = {static_cast<uint8_t>(number - 1), 6, 38};
    std::array<uint8_t, 4> values{first->value.value().midi1Value().value()};
    size_t count = 1;
    for (uint8_t controller : expected) {
        if (count >= events.size()) break;
        const CC* cc = controlChange(events[count]);
        if (!cc || cc->controller.number().value() != controller || cc->channel != first->channel ||
            !(events[count].delta() == DeltaTime::ticks(0))) {
            break;
        }
        values[count++] = cc->value.value().midi1Value().value();
    }
    const midicore::UInt7Pair parameter{midicore::UInt7(values[0]), midicore::UInt7(values[1])};
    const bool reset = count == 2 && values[0] == 127 && values[1] == 127;
    if (count < 3 && !reset) return std::nullopt;
    const std::optional<midicore::UInt7> msb =
        count >= 3 ? std::optional(midicore::UInt7(values[2])) : std::nullopt;
    const std::optional<midicore::UInt7> lsb =
        count >= 4 ? std::optional(midicore::UInt7(values[3])) : std::nullopt;
    const DeltaTime delta = events[0].delta();
    if (registered) {
        // A named parameter whose fields would not hold the data entry as read (a missing LSB
        // taken as 0, an LSB it has no field for) stays `raw`: the event reports what the file
        // holds and writes back exactly the controllers read.
        RegisteredController named = registeredParameter(parameter, msb, lsb);
        if (named.dataEntryBytes() != DataEntryBytes{msb, lsb}) {
            named = RegisteredController::raw(parameter, msb, lsb);
        }
        return std::pair{count, MIDIFileEvent(delta, RPN(named,
                                                         midicore::MIDI2ParameterNumberChange::absolute,
                                                         first->channel))};
    }
    return std::pair{count, MIDIFileEvent(delta, NRPN(assignableParameter(parameter, msb, lsb),
                                                      midicore::MIDI2ParameterNumberChange::absolute,
                                                      first->channel))};
}

std::vector<MIDIFileEvent> joinSeparatedParameterRuns(std::vector<MIDIFileEvent> events) {
    std::vector<MIDIFileEvent> out;
    out.reserve(events.size());
    for (size_t i = 0; i < events.size();) {
        if (auto run = separatedParameterRun(std::span(events).subspan(i))) {
            out.push_back(std::move(run->second));
            i += run->first;
        } else {
            out.push_back(std::move(events[i++]));
        }
    }
    return out;
}

bool isEndOfTrack(const MIDIFileEvent& event) {
    const auto* meta = event.payloadIf<UnrecognizedMeta>();
    return meta && meta->metaType == 0x2F;
}

uint32_t deltaTicks(const DeltaTime& delta) {
    return *delta.ticksValue(MIDIFileTimeBase::musical(960));
}

// Channel messages are 3 bytes, program change and channel pressure 2.
size_t channelMessageLength(uint8_t status) {
    const uint8_t kind = status >> 4;
    return kind == 0xC || kind == 0xD ? 2 : 3;
}

}  // namespace

std::optional<Decoded<Payload>> tryPayloadDecoders(Bytes window) {
    std::optional<Decoded<Payload>> found;
    decodeFront(window, [&]<class P>(Decoded<P>&& decoded) {
        found.emplace(Decoded<Payload>{Payload(std::move(decoded.payload)), decoded.byteCount});
    });
    return found;
}

std::vector<MIDIFileEvent> decodeTrackEvents(Bytes body) {
    std::vector<MIDIFileEvent> events;
    events.reserve(body.size() / 3 + 1);  // events in running status take 3 bytes or more
    uint8_t runningStatus = 0;  // the status of the last channel event; 0 for none
    uint64_t carriedDelta = 0;  // of dropped end-of-track events
    bool sawParameterController = false;
    size_t offset = 0;
    while (true) {
        // Channel messages, the bulk of most tracks, are taken in one go; what they leave is
        // read here, with the same checks.
        offset = detail::appendChannelEvents(body, offset, runningStatus, carriedDelta, events);
        if (body.size() - offset < 4) throw malformed("Encountered end of file early.");
        const auto delta = decodeVariableLengthValue(body.subspan(offset, 4));
        if (!delta) {
            throw malformed(
                "Delta time variable length value could not be read and may be malformed.");
        }
        offset += static_cast<size_t>(delta->byteLength);
        if (offset >= body.size()) throw malformed("Encountered end of file early.");
        const uint64_t ticks =
            std::min<uint64_t>(carriedDelta + static_cast<uint64_t>(delta->value), maxDelta);
        const DeltaTime eventDelta = DeltaTime::ticks(static_cast<uint32_t>(ticks));
        // What is left is a Control Change that may start a parameter run, an event of another
        // kind, or a malformed one, which no decoder takes (a channel message that
        // appendChannelEvents refused is refused by its decoder too).
        const Bytes window = body.subspan(offset);
        if (std::ranges::equal(window, endOfTrack)) break;
        std::array<uint8_t, 16> withStatus{};
        Bytes candidate = window;
        const bool inserted = window[0] < 0x80 && runningStatus != 0;
        if (inserted) {
            const size_t count = std::min(window.size(), withStatus.size() - 1);
            withStatus[0] = runningStatus;
            std::copy_n(window.begin(), count, withStatus.begin() + 1);
            candidate = Bytes(withStatus.data(), count + 1);
        }
        int64_t byteCount = 0;
        const bool decoded = decodeFront(candidate, [&]<class P>(Decoded<P>&& found) {
            byteCount = found.byteCount;
            events.emplace_back(eventDelta, std::move(found.payload));
        });
        if (!decoded) {
            throw malformed(unexpectedDataMessage(static_cast<int64_t>(offset), window));
        }
        const uint8_t status = candidate[0];
        offset += static_cast<size_t>(byteCount) - (inserted ? 1 : 0);
        if (status >= 0x80 && status <= 0xEF) {
            runningStatus = status;
        } else if (status >= 0xF0 && status <= 0xF7) {
            runningStatus = 0;
        }

        if (isEndOfTrack(events.back())) {
            events.pop_back();
            carriedDelta = ticks;
            continue;
        }
        carriedDelta = 0;
        if (const CC* cc = events.back().payloadIf<CC>()) {
            const uint8_t number = cc->controller.number().value();
            sawParameterController = sawParameterController || number == 101 || number == 99;
        }
    }
    if (sawParameterController) return joinSeparatedParameterRuns(std::move(events));
    return events;
}

namespace detail {

void appendTrackBody(std::vector<uint8_t>& body, std::span<const MIDIFileEvent> events,
                     const MIDIFileTimeBase& timeBase) {
    // An event whose bytes are channel messages is written as one event per message, the later
    // ones at delta 0; any other event as its bytes.
    const auto appendEventBytes = [&body](std::span<const uint8_t> bytes) {
        if (bytes.empty() || bytes[0] < 0x80 || bytes[0] > 0xEF) {
            body.insert(body.end(), bytes.begin(), bytes.end());
            return;
        }
        for (size_t at = 0; at < bytes.size();) {
            if (at > 0) body.push_back(0x00);
            const size_t length = std::min(channelMessageLength(bytes[at]), bytes.size() - at);
            body.insert(body.end(), bytes.begin() + static_cast<ptrdiff_t>(at),
                        bytes.begin() + static_cast<ptrdiff_t>(at + length));
            at += length;
        }
    };
    const auto appendDelta = [&body](uint64_t ticks) {
        if (ticks < 0x80) {
            body.push_back(static_cast<uint8_t>(ticks));
        } else {
            appendVariableLengthValue(body, ticks);
        }
    };
    uint64_t carried = 0;
    for (const MIDIFileEvent& event : events) {
        // A tick count stays what it is under any time base; note values need a musical one.
        const DeltaTime delta = event.delta();
        const std::optional<uint32_t> ticks = delta.deltaCase() == DeltaTime::Case::ticks
                                                  ? std::optional(deltaTicks(delta))
                                                  : delta.ticksValue(timeBase);
        if (!ticks) {
            throw MIDIFileEncodeError::internalInconsistency(
                "A delta time given as a note value has no tick count under a timecode time base.");
        }
        const uint64_t total = carried + *ticks;
        if (isEndOfTrack(event)) {
            carried = total;
            continue;
        }
        if (total > maxDelta) {
            throw MIDIFileEncodeError::internalInconsistency(
                "Delta time " + std::to_string(total) + " exceeds the maximum of 268435455 ticks.");
        }
        carried = 0;
        appendDelta(total);
        std::visit(
            [&]<class P>(const P& payload) {
                if constexpr (std::is_base_of_v<ChannelVoiceCodec<P>, PayloadCodec<P>>) {
                    // The bytes the payload codec gives, without a vector of their own.
                    const midicore::MIDI1Bytes bytes = payload.midi1RawBytes();
                    appendEventBytes(std::span(bytes.data(), bytes.size()));
                } else {
                    appendEventBytes(midifile::smfRawBytes(payload));
                }
            },
            event.payload());
    }
    if (carried > maxDelta) {
        throw MIDIFileEncodeError::internalInconsistency(
            "Delta time " + std::to_string(carried) + " exceeds the maximum of 268435455 ticks.");
    }
    appendDelta(carried);
    body.insert(body.end(), endOfTrack.begin(), endOfTrack.end());
}

}  // namespace detail

std::vector<uint8_t> encodeTrackBody(std::span<const MIDIFileEvent> events,
                                     const MIDIFileTimeBase& timeBase) {
    std::vector<uint8_t> body;
    body.reserve(events.size() * 4 + 4);
    detail::appendTrackBody(body, events, timeBase);
    return body;
}

std::array<uint8_t, 4> detail::chunkLengthBytes(size_t length) {
    if (length > 0xFFFFFFFFull) {
        throw MIDIFileEncodeError::internalInconsistency("Chunk length overflowed maximum size.");
    }
    return {static_cast<uint8_t>(length >> 24), static_cast<uint8_t>(length >> 16),
            static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
}

std::vector<uint8_t> encodeChunk(std::span<const uint8_t, 4> identifier, Bytes body) {
    const auto length = detail::chunkLengthBytes(body.size());
    std::vector<uint8_t> out(identifier.begin(), identifier.end());
    out.reserve(8 + body.size());
    out.insert(out.end(), length.begin(), length.end());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace midifile
