// The interface every payload of a track event implements: its event kind, its byte codec in
// both directions and its two texts.
//
// The interface is PayloadCodec<P>. A record of this library provides it through members of its
// own (smfEventType, tryFromRawBytes, decode, smfRawBytes, description, debugDescription); a
// record defined elsewhere, such as the MIDI core's channel-voice records, provides it by
// specialising PayloadCodec with the same six static functions. Generic code goes through the
// free functions below, which accept either.
//
// Decoding never throws: both decoders return a DecodeResult (errors.hpp). fromRawBytes is the
// throwing form for callers that want MIDIFileDecodeError.
#pragma once

#include <concepts>
#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "midi_file/errors.hpp"
#include "midi_file/event_type.hpp"

namespace midifile {

template <class P>
struct PayloadCodec;

// A record with the members of the interface.
template <class P>
concept PayloadWithCodecMembers = requires {
    P::smfEventType;
};

template <PayloadWithCodecMembers P>
struct PayloadCodec<P> {
    static constexpr MIDIFileEventType eventType() { return P::smfEventType; }
    // From the bytes of exactly one event, status byte first, without delta time.
    static DecodeResult<P> fromRawBytes(std::span<const uint8_t> bytes) {
        return P::tryFromRawBytes(bytes);
    }
    // One event from the front of `stream`, which may hold more bytes after it.
    static StreamDecodeResult<P> decode(std::span<const uint8_t> stream) {
        return P::decode(stream);
    }
    // The event's complete bytes as written in a track, status byte first, without delta time.
    static std::vector<uint8_t> smfRawBytes(const P& payload) { return payload.smfRawBytes(); }
    static std::string description(const P& payload) { return payload.description(); }
    static std::string debugDescription(const P& payload) { return payload.debugDescription(); }
};

template <class P>
concept MIDIFileEventPayload =
    std::copyable<P> && std::equality_comparable<P> &&
    requires(const P& payload, std::span<const uint8_t> bytes) {
        { PayloadCodec<P>::eventType() } -> std::same_as<MIDIFileEventType>;
        { PayloadCodec<P>::fromRawBytes(bytes) } -> std::same_as<DecodeResult<P>>;
        { PayloadCodec<P>::decode(bytes) } -> std::same_as<StreamDecodeResult<P>>;
        { PayloadCodec<P>::smfRawBytes(payload) } -> std::same_as<std::vector<uint8_t>>;
        { PayloadCodec<P>::description(payload) } -> std::same_as<std::string>;
        { PayloadCodec<P>::debugDescription(payload) } -> std::same_as<std::string>;
        { std::hash<P>{}(payload) } -> std::convertible_to<size_t>;
    };

template <MIDIFileEventPayload P>
constexpr MIDIFileEventType smfEventType() {
    return PayloadCodec<P>::eventType();
}

// Throws MIDIFileDecodeError::malformed with the decoder's sentence.
template <MIDIFileEventPayload P>
P payloadFromRawBytes(std::span<const uint8_t> bytes) {
    return PayloadCodec<P>::fromRawBytes(bytes).value();
}

template <MIDIFileEventPayload P>
StreamDecodeResult<P> decodePayload(std::span<const uint8_t> stream) {
    return PayloadCodec<P>::decode(stream);
}

template <MIDIFileEventPayload P>
std::vector<uint8_t> smfRawBytes(const P& payload) {
    return PayloadCodec<P>::smfRawBytes(payload);
}

template <MIDIFileEventPayload P>
std::string payloadDescription(const P& payload) {
    return PayloadCodec<P>::description(payload);
}

template <MIDIFileEventPayload P>
std::string payloadDebugDescription(const P& payload) {
    return PayloadCodec<P>::debugDescription(payload);
}

}  // namespace midifile
