// Helpers of the payload codec tests: a decoder's result as one line of text.
#pragma once

#include <string>
#include <vector>

#include "midi_file/file_event.hpp"

namespace midifile::codec_testing {

using Bytes = std::vector<uint8_t>;

// The debug description of what the raw-bytes decoder of P makes of `bytes`, or the failure's
// sentence.
template <class P>
std::string raw(const Bytes& bytes) {
    const auto result = PayloadCodec<P>::fromRawBytes(bytes);
    return result ? payloadDebugDescription(*result) : result.failure().message();
}

// The same for the stream decoder, with the count of bytes it took.
template <class P>
std::string stream(const Bytes& bytes) {
    const auto result = decodePayload<P>(bytes);
    if (!result) return result.failure().message();
    return payloadDebugDescription(result->payload) + " @" + std::to_string(result->byteCount);
}

inline Bytes repeated(uint8_t byte, size_t count) { return Bytes(count, byte); }

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace midifile::codec_testing
