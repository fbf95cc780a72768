// What the meta-event codecs share: the checks of fixed-length events, reading a length-prefixed
// body, and writing both forms.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "midi_file/errors.hpp"
#include "midi_file/event_type.hpp"

namespace midifile::detail {

using Bytes = std::span<const uint8_t>;

// The value bytes of a fixed-length meta event of `type`, whose table prefix (FF, meta type,
// length byte) comes first: fails unless `bytes` holds exactly `length` bytes starting with it.
inline DecodeResult<Bytes> fixedMetaValueBytes(Bytes bytes, MIDIFileEventType type,
                                               size_t length) {
    if (bytes.size() != length) {
        return DecodeFailure(DecodeFailure::Reason::invalidByteCount,
                             static_cast<int64_t>(length), static_cast<int64_t>(bytes.size()));
    }
    const Bytes prefix = metaEventPrefix(type);
    if (!std::equal(prefix.begin(), prefix.end(), bytes.begin())) {
        return DecodeFailure(DecodeFailure::Reason::unexpectedStart);
    }
    return bytes.subspan(prefix.size());
}

// One fixed-length event from the front of `stream`, through the record's raw-bytes decoder.
template <class Payload>
StreamDecodeResult<Payload> decodeFixedLength(Bytes stream, size_t length) {
    if (stream.size() < length) return DecodeFailure(DecodeFailure::Reason::unexpectedByteLength);
    auto payload = Payload::tryFromRawBytes(stream.first(length));
    if (!payload) return payload.failure();
    return Decoded<Payload>{*payload, static_cast<int64_t>(length)};
}

// The table prefix of `type` followed by `values`.
inline std::vector<uint8_t> fixedMetaBytes(MIDIFileEventType type,
                                           std::initializer_list<uint8_t> values) {
    const Bytes prefix = metaEventPrefix(type);
    std::vector<uint8_t> out(prefix.begin(), prefix.end());
    out.insert(out.end(), values.begin(), values.end());
    return out;
}

// The body of a meta event with a length field: the bytes after the two header bytes (FF and the
// type, which the caller has checked) are a variable-length quantity and that many data bytes.
struct LengthPrefixedBody {
    Bytes data;
    int64_t byteCount;  // header, length field and data, as read
};

// `shortage` is the reason reported when fewer data bytes follow than the length gives.
DecodeResult<LengthPrefixedBody> readLengthPrefixedBody(Bytes event,
                                                        DecodeFailure::Reason shortage);

// FF, `type`, the data count as a variable-length quantity, the data.
std::vector<uint8_t> lengthPrefixedBytes(uint8_t type, Bytes data);

}  // namespace midifile::detail
