#include "midi_file/meta_events.hpp"

#include "hashing.hpp"
#include "meta_codec.hpp"
#include "midi_file/variable_length.hpp"
#include "midi_support/data_reader.hpp"
#include "midi_support/number_text.hpp"

namespace midifile {

using Reason = DecodeFailure::Reason;
using detail::Bytes;

namespace detail {

DecodeResult<LengthPrefixedBody> readLengthPrefixedBody(Bytes event, DecodeFailure::Reason shortage) {
    // The callers have checked that at least three bytes are there, so the length field has at
    // least one byte and the reader cannot run out before it.
    midisupport::PassiveDataReader reader(event);
    reader.advanceBy(2);
    const auto length = readVariableLength(reader);
    if (!length) return DecodeFailure(Reason::noVariableLength);
    const int64_t remaining = reader.remainingByteCount();
    if (remaining < *length) return DecodeFailure(shortage, remaining, *length);
    const Bytes data = reader.read(*length);
    return LengthPrefixedBody{data, reader.readOffset()};
}

std::vector<uint8_t> lengthPrefixedBytes(uint8_t type, Bytes data) {
    std::vector<uint8_t> out{0xFF, type};
    out.reserve(data.size() + 7);
    appendVariableLengthValue(out, data.size());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

}  // namespace detail

namespace {

// The stream form of the events with a length field: the raw-bytes decoder over the whole stream,
// which reads one event from its front; the count is what it read.
template <class Payload>
StreamDecodeResult<Payload> decodeLengthPrefixed(
    Bytes stream, DecodeFailure::Reason tooShort,
    DecodeResult<Payload> (*parse)(Bytes, int64_t& byteCount)) {
    if (stream.size() < 3) return DecodeFailure(tooShort);
    int64_t byteCount = 0;
    auto payload = parse(stream, byteCount);
    if (!payload) return payload.failure();
    return Decoded<Payload>{std::move(payload).value(), byteCount};
}

DecodeResult<SequencerSpecific> parseSequencerSpecific(Bytes bytes, int64_t& byteCount) {
    if (bytes.size() < 3) return DecodeFailure(Reason::tooFewBytes);
    const Bytes prefix = metaEventPrefix(MIDIFileEventType::sequencerSpecific);
    if (!std::equal(prefix.begin(), prefix.end(), bytes.begin())) {
        return DecodeFailure(Reason::unexpectedStart);
    }
    const auto body = detail::readLengthPrefixedBody(bytes, Reason::fewerBytesAvailable);
    if (!body) return body.failure();
    byteCount = body->byteCount;
    return SequencerSpecific{{body->data.begin(), body->data.end()}};
}

DecodeResult<UnrecognizedMeta> parseUnrecognizedMeta(Bytes bytes, int64_t& byteCount) {
    if (bytes.size() < 3) return DecodeFailure(Reason::notEnoughBytes);
    if (bytes[0] != 0xFF) return DecodeFailure(Reason::unexpectedStart);
    const auto body = detail::readLengthPrefixedBody(bytes, Reason::fewerBytesAvailable);
    if (!body) return body.failure();
    byteCount = body->byteCount;
    return UnrecognizedMeta{bytes[1], {body->data.begin(), body->data.end()}};
}

std::string byteList(const std::vector<uint8_t>& data) {
    return std::to_string(data.size()) + " bytes: [" + midisupport::hexString(data, 2, true, ", ") +
           "]";
}

}  // namespace

// Channel prefix.

DecodeResult<ChannelPrefix> ChannelPrefix::tryFromRawBytes(Bytes bytes) {
    const auto value = detail::fixedMetaValueBytes(bytes, smfEventType, 4);
    if (!value) return value.failure();
    const auto channel = midicore::UInt4::exactly((*value)[0]);
    if (!channel) return DecodeFailure(Reason::channelOutOfBounds, (*value)[0]);
    return ChannelPrefix{*channel};
}

StreamDecodeResult<ChannelPrefix> ChannelPrefix::decode(Bytes stream) {
    return detail::decodeFixedLength<ChannelPrefix>(stream, 4);
}

std::vector<uint8_t> ChannelPrefix::smfRawBytes() const {
    return detail::fixedMetaBytes(smfEventType, {channel.value()});
}

std::string ChannelPrefix::description() const {
    return "chanPrefix: " + midisupport::hexString(channel.value(), 1, true);
}

std::string ChannelPrefix::debugDescription() const {
    return "ChannelPrefix(" + midisupport::hexString(channel.value(), 1, true) + ")";
}

// Port prefix.

DecodeResult<PortPrefix> PortPrefix::tryFromRawBytes(Bytes bytes) {
    const auto value = detail::fixedMetaValueBytes(bytes, smfEventType, 4);
    if (!value) return value.failure();
    const auto port = midicore::UInt7::exactly((*value)[0]);
    if (!port) return DecodeFailure(Reason::portOutOfBounds, (*value)[0]);
    return PortPrefix{*port};
}

StreamDecodeResult<PortPrefix> PortPrefix::decode(Bytes stream) {
    return detail::decodeFixedLength<PortPrefix>(stream, 4);
}

std::vector<uint8_t> PortPrefix::smfRawBytes() const {
    return detail::fixedMetaBytes(smfEventType, {port.value()});
}

std::string PortPrefix::description() const { return "port:" + std::to_string(port.value()); }

std::string PortPrefix::debugDescription() const {
    return "PortPrefix(" + std::to_string(port.value()) + ")";
}

// Sequence number.

DecodeResult<SequenceNumber> SequenceNumber::tryFromRawBytes(Bytes bytes) {
    const auto value = detail::fixedMetaValueBytes(bytes, smfEventType, 5);
    if (!value) return value.failure();
    const auto sequence = static_cast<uint16_t>((*value)[0] << 8 | (*value)[1]);
    if (sequence > 0x7FFF) return DecodeFailure(Reason::sequenceNumberOutOfBounds, sequence);
    return SequenceNumber(sequence);
}

StreamDecodeResult<SequenceNumber> SequenceNumber::decode(Bytes stream) {
    return detail::decodeFixedLength<SequenceNumber>(stream, 5);
}

std::vector<uint8_t> SequenceNumber::smfRawBytes() const {
    return detail::fixedMetaBytes(smfEventType, {static_cast<uint8_t>(sequence_ >> 8),
                                                 static_cast<uint8_t>(sequence_ & 0xFF)});
}

std::string SequenceNumber::description() const { return "seqNum:" + std::to_string(sequence_); }

std::string SequenceNumber::debugDescription() const {
    return "SequenceNumber(" + std::to_string(sequence_) + ")";
}

// Key signature.

DecodeResult<KeySignature> KeySignature::tryFromRawBytes(Bytes bytes) {
    const auto value = detail::fixedMetaValueBytes(bytes, smfEventType, 5);
    if (!value) return value.failure();
    const auto flatsOrSharps = static_cast<int8_t>((*value)[0]);
    const auto majorMinor = static_cast<int8_t>((*value)[1]);
    if (flatsOrSharps < -7 || flatsOrSharps > 7) {
        return DecodeFailure(Reason::keySharpsFlatsOutOfRange, flatsOrSharps);
    }
    if (majorMinor < 0 || majorMinor > 1) {
        return DecodeFailure(Reason::keyMajorMinorOutOfRange, majorMinor);
    }
    return KeySignature(flatsOrSharps, majorMinor == 0);
}

StreamDecodeResult<KeySignature> KeySignature::decode(Bytes stream) {
    return detail::decodeFixedLength<KeySignature>(stream, 5);
}

std::vector<uint8_t> KeySignature::smfRawBytes() const {
    return detail::fixedMetaBytes(
        smfEventType, {static_cast<uint8_t>(flatsOrSharps_), static_cast<uint8_t>(majorKey_ ? 0 : 1)});
}

std::string KeySignature::description() const {
    // Widened first, so that even -128 (which only the unchecked constructor can store) has a
    // magnitude.
    const int count = flatsOrSharps_;
    std::string key;
    if (count > 0) {
        key = std::to_string(count) + "\u266F";
    } else if (count < 0) {
        key = std::to_string(-count) + "\u266D";
    } else {
        key = "No signature";
    }
    return key + (majorKey_ ? " Major" : " Minor");
}

std::string KeySignature::debugDescription() const {
    return "KeySignature(" + description() + ")";
}

// Sequencer-specific data.

DecodeResult<SequencerSpecific> SequencerSpecific::tryFromRawBytes(Bytes bytes) {
    int64_t byteCount = 0;
    return parseSequencerSpecific(bytes, byteCount);
}

StreamDecodeResult<SequencerSpecific> SequencerSpecific::decode(Bytes stream) {
    return decodeLengthPrefixed<SequencerSpecific>(stream, Reason::byteLengthTooShort,
                                                   parseSequencerSpecific);
}

std::vector<uint8_t> SequencerSpecific::smfRawBytes() const {
    return detail::lengthPrefixedBytes(0x7F, data);
}

std::string SequencerSpecific::description() const {
    return "sequencerSpecific: " + std::to_string(data.size()) + " bytes";
}

std::string SequencerSpecific::debugDescription() const {
    return "SequencerSpecific(" + byteList(data) + ")";
}

// Unrecognised meta events.

DecodeResult<UnrecognizedMeta> UnrecognizedMeta::tryFromRawBytes(Bytes bytes) {
    int64_t byteCount = 0;
    return parseUnrecognizedMeta(bytes, byteCount);
}

StreamDecodeResult<UnrecognizedMeta> UnrecognizedMeta::decode(Bytes stream) {
    return decodeLengthPrefixed<UnrecognizedMeta>(stream, Reason::byteLengthTooLength,
                                                  parseUnrecognizedMeta);
}

std::vector<uint8_t> UnrecognizedMeta::smfRawBytes() const {
    return detail::lengthPrefixedBytes(metaType, data);
}

std::string UnrecognizedMeta::description() const {
    return "meta: " + std::to_string(metaType) + ", " + std::to_string(data.size()) + " bytes";
}

std::string UnrecognizedMeta::debugDescription() const {
    // The text has no closing parenthesis after the list.
    return "UnrecognizedMeta(type: " + std::to_string(metaType) + ", " + byteList(data);
}

// XMF patch type prefix.

std::string description(XMFPatchSet patchSet) {
    switch (patchSet) {
        case XMFPatchSet::generalMIDI1:
            return "General MIDI 1";
        case XMFPatchSet::generalMIDI2:
            return "General MIDI 2";
        case XMFPatchSet::DLS:
            return "DLS";
    }
    return "Patch set " + std::to_string(rawValue(patchSet));
}

DecodeResult<XMFPatchTypePrefix> XMFPatchTypePrefix::tryFromRawBytes(Bytes bytes) {
    // The table prefix is FF 60; the length byte is checked on its own, with its own message.
    const auto rest = detail::fixedMetaValueBytes(bytes, smfEventType, 4);
    if (!rest) return rest.failure();
    if ((*rest)[0] != 1) return DecodeFailure(Reason::paramLengthNotOne);
    const auto patchSet = fromRawValue<XMFPatchSet>((*rest)[1]);
    if (!patchSet) return DecodeFailure(Reason::unexpectedParamValue, (*rest)[1]);
    return XMFPatchTypePrefix{*patchSet};
}

StreamDecodeResult<XMFPatchTypePrefix> XMFPatchTypePrefix::decode(Bytes stream) {
    return detail::decodeFixedLength<XMFPatchTypePrefix>(stream, 4);
}

std::vector<uint8_t> XMFPatchTypePrefix::smfRawBytes() const {
    return detail::fixedMetaBytes(smfEventType, {0x01, rawValue(patchSet)});
}

std::string XMFPatchTypePrefix::description() const {
    return "patchPrefix:" + midifile::description(patchSet);
}

std::string XMFPatchTypePrefix::debugDescription() const {
    return "XMFPatchTypePrefix(" + midifile::description(patchSet) + ")";
}

}  // namespace midifile

size_t std::hash<midifile::KeySignature>::operator()(const midifile::KeySignature& p) const {
    return midifile::detail::Hasher().combine(p.flatsOrSharps()).combine(p.majorKey()).value();
}

namespace {

size_t hashBytes(midifile::detail::Hasher hasher, const std::vector<uint8_t>& data) {
    hasher.combine(data.size());
    for (uint8_t byte : data) hasher.combine(byte);
    return hasher.value();
}

}  // namespace

size_t std::hash<midifile::SequencerSpecific>::operator()(
    const midifile::SequencerSpecific& p) const {
    return hashBytes(midifile::detail::Hasher(), p.data);
}

size_t std::hash<midifile::UnrecognizedMeta>::operator()(
    const midifile::UnrecognizedMeta& p) const {
    return hashBytes(midifile::detail::Hasher().combine(p.metaType), p.data);
}
