// Arbitrary bytes through every track-event payload decoder of the file library, the
// variable-length quantity, the division word and the musical time split.
//
// Each decoder must refuse without throwing or take between 1 and all of the bytes; its raw-bytes
// decoder must agree on exactly the bytes it took; the payload's encoding must decode to a payload
// with the same encoding, and every text must be producible. Failures must have a sentence.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <variant>
#include <vector>

#include "midi_file/file_event.hpp"
#include "midi_file/musical_time.hpp"
#include "midi_file/variable_length.hpp"

namespace {

using namespace midifile;
using Bytes = std::span<const uint8_t>;

void require(bool condition) {
    if (!condition) std::abort();
}

template <class P>
void fuzzPayload(Bytes bytes) {
    const auto decoded = decodePayload<P>(bytes);
    if (!decoded) {
        require(!decoded.failure().message().empty());
        return;
    }
    const int64_t count = decoded->byteCount;
    require(count >= 1 && count <= static_cast<int64_t>(bytes.size()));
    const auto raw = PayloadCodec<P>::fromRawBytes(bytes.first(static_cast<size_t>(count)));
    require(raw.ok() && *raw == decoded->payload);

    const std::vector<uint8_t> encoded = smfRawBytes(decoded->payload);
    const auto again = decodePayload<P>(encoded);
    require(again.ok());
    require(again->byteCount == static_cast<int64_t>(encoded.size()));
    require(smfRawBytes(again->payload) == encoded);
    (void)payloadDescription(decoded->payload);
    (void)payloadDebugDescription(decoded->payload);
    (void)std::hash<P>{}(decoded->payload);

    const MIDIFileEvent event = wrappedEvent(decoded->payload, DeltaTime::ticks(1));
    require(event.eventType() == smfEventType<P>());
    require(event.smfRawBytes() == encoded);
}

void fuzzQuantity(Bytes bytes) {
    const auto quantity = decodeVariableLengthValue(bytes);
    if (!quantity) return;
    require(quantity->byteLength >= 1 && quantity->byteLength <= 4);
    require(quantity->value >= 0 && quantity->value <= 0x0FFFFFFF);
    const auto encoded = encodeVariableLengthValue(quantity->value);
    require(encoded.size() <= static_cast<size_t>(quantity->byteLength));
    require(decodeVariableLengthValue(encoded) ==
            (VariableLengthValue{quantity->value, static_cast<int64_t>(encoded.size())}));
}

void fuzzNumbers(Bytes bytes) {
    if (bytes.size() < 32) return;
    int64_t numbers[4];
    std::memcpy(numbers, bytes.data(), sizeof numbers);
    const auto value = MusicalTimeValue::fromTicks(numbers[0], numbers[1], numbers[2], numbers[3]);
    // Only the most negative count in a meter of one tick per bar lies a tick off.
    const bool singleTickBars = std::max<int64_t>(numbers[1], 1) == 1 &&
                                std::max<int64_t>(numbers[3], 1) == 1;
    if (!(numbers[0] == INT64_MIN && singleTickBars)) require(value.totalTicks() == numbers[0]);
    (void)value.totalBeats();
    (void)value.description();
    const MusicalTimeValue fields(numbers[0], numbers[1], numbers[2], numbers[3], numbers[1],
                                  numbers[2], numbers[3], (bytes[0] & 1) != 0);
    (void)fields.totalTicks();
    (void)fields.totalBeats();

    const auto base = MIDIFileTimeBase::fromRawBytes(bytes.first(2));
    if (base) {
        const auto word = base->rawBytes();
        require(word[0] == bytes[0] && word[1] == bytes[1]);
        (void)DeltaTime::_256thNote().ticksValue(*base);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Bytes bytes(data, size);
    [&]<class... Ps>(std::variant<Ps...>*) {
        (fuzzPayload<Ps>(bytes), ...);
    }(static_cast<MIDIFileEvent::Payload*>(nullptr));
    fuzzQuantity(bytes);
    fuzzNumbers(bytes);
    return 0;
}
