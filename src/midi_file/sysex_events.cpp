#include "midi_file/sysex_events.hpp"

#include <type_traits>

#include "midi_file/variable_length.hpp"
#include "midi_support/number_text.hpp"

namespace midifile {

namespace {

using namespace midicore::events;
using midicore::UInt7;
using Bytes = std::span<const uint8_t>;
using Reason = DecodeFailure::Reason;

// The body between the count and F7, and how many bytes the event took.
struct Framed {
    Bytes body;
    int64_t byteCount;
};

DecodeResult<Framed> readFraming(Bytes bytes) {
    if (bytes.size() < 3) return DecodeFailure(Reason::notEnoughBytes);
    if (bytes[0] != 0xF0) return DecodeFailure(Reason::notSysEx);
    const auto length = decodeVariableLengthValue(bytes.subspan(1, std::min<size_t>(4, bytes.size() - 1)));
    if (!length) return DecodeFailure(Reason::noVariableLength);
    const size_t start = 1 + static_cast<size_t>(length->byteLength);
    const int64_t remaining = static_cast<int64_t>(bytes.size() - start);
    if (remaining < length->value) {
        return DecodeFailure(Reason::fewerTextBytesAvailable, remaining, length->value);
    }
    if (length->value == 0) return DecodeFailure(Reason::emptySysEx);
    const Bytes framed = bytes.subspan(start, static_cast<size_t>(length->value));
    if (framed.back() != 0xF7) return DecodeFailure(Reason::missingSysExEnd, framed.back());
    return Framed{framed.first(framed.size() - 1),
                  static_cast<int64_t>(start) + length->value};
}

bool sevenBit(Bytes bytes) {
    for (uint8_t b : bytes) {
        if (b > 0x7F) return false;
    }
    return true;
}

template <class P>
struct Kind;

template <>
struct Kind<SysEx7> {
    static constexpr MIDIFileEventType type = MIDIFileEventType::sysEx7;
    static constexpr const char* word = "sysEx7: ";
    static constexpr const char* debugWord = "SysEx(";
    static DecodeResult<SysEx7> make(Bytes body) {
        if (body.empty() || body[0] > 0x7F) return DecodeFailure(Reason::sysExMalformed);
        if (body[0] == 0x7E || body[0] == 0x7F) {
            // A universal message: the other kind, once the core's rules accept it.
            return body.size() < 4 || !sevenBit(body) ? DecodeFailure(Reason::sysExMalformed)
                                                      : DecodeFailure(Reason::sysExOtherType);
        }
        const size_t idLength = body[0] == 0x00 ? 3 : 1;
        if (body.size() < idLength || !sevenBit(body)) return DecodeFailure(Reason::sysExMalformed);
        const auto manufacturer = SysExManufacturer::fromSysEx7RawBytes(body.first(idLength));
        if (!manufacturer) return DecodeFailure(Reason::sysExMalformed);
        return SysEx7(*manufacturer,
                      std::vector<uint8_t>(body.begin() + static_cast<ptrdiff_t>(idLength), body.end()));
    }
};

template <>
struct Kind<UniversalSysEx7> {
    static constexpr MIDIFileEventType type = MIDIFileEventType::universalSysEx7;
    static constexpr const char* word = "universalSysEx7: ";
    static constexpr const char* debugWord = "UniversalSysEx7(";
    static DecodeResult<UniversalSysEx7> make(Bytes body) {
        if (body.empty() || body[0] > 0x7F) return DecodeFailure(Reason::sysExMalformed);
        if (body[0] != 0x7E && body[0] != 0x7F) {
            // A manufacturer's message: the other kind, once the core's rules accept it.
            const auto manufacturer = Kind<SysEx7>::make(body);
            return manufacturer ? DecodeFailure(Reason::sysExOtherType) : manufacturer.failure();
        }
        if (body.size() < 4 || !sevenBit(body)) return DecodeFailure(Reason::sysExMalformed);
        const auto type = UniversalSysExType::fromRawUInt8Value(body[0]);
        return UniversalSysEx7(*type, UInt7(body[1]), UInt7(body[2]), UInt7(body[3]),
                               std::vector<uint8_t>(body.begin() + 4, body.end()));
    }
};

}  // namespace

SysEx7 emptySysEx7() { return SysEx7(SysExManufacturer::oneByte(UInt7(0)), SysEx7Data()); }

bool isEmptySysEx7(const SysEx7& message) {
    return message.data.empty() && message.manufacturer == SysExManufacturer::oneByte(UInt7(0));
}

StreamDecodeResult<SysEx7> decodeEmptySysEx7(Bytes stream) {
    const auto framed = readFraming(stream);
    if (!framed) return framed.failure();
    if (!framed->body.empty()) return DecodeFailure(Reason::sysExMalformed);
    return Decoded<SysEx7>{emptySysEx7(), framed->byteCount};
}

namespace detail {

template <class P>
MIDIFileEventType SysExCodec<P>::eventType() {
    return Kind<P>::type;
}

template <class P>
DecodeResult<P> SysExCodec<P>::fromRawBytes(Bytes bytes) {
    const auto framed = readFraming(bytes);
    if (!framed) return framed.failure();
    return Kind<P>::make(framed->body);
}

template <class P>
StreamDecodeResult<P> SysExCodec<P>::decode(Bytes stream) {
    if (stream.size() < 3) return DecodeFailure(Reason::byteLengthTooShort);
    const auto framed = readFraming(stream);
    if (!framed) return framed.failure();
    auto payload = Kind<P>::make(framed->body);
    if (!payload) return payload.failure();
    return Decoded<P>{*std::move(payload), framed->byteCount};
}

template <class P>
std::vector<uint8_t> SysExCodec<P>::smfRawBytes(const P& payload) {
    if constexpr (std::is_same_v<P, SysEx7>) {
        if (isEmptySysEx7(payload)) return {0xF0, 0x01, 0xF7};
    }
    const auto message = payload.midi1RawBytes(false, true);
    std::vector<uint8_t> out{0xF0};
    appendVariableLengthValue(out, message.size());
    out.insert(out.end(), message.begin(), message.end());
    return out;
}

template <class P>
std::string SysExCodec<P>::description(const P& payload) {
    return Kind<P>::word + std::to_string(smfRawBytes(payload).size()) + " bytes";
}

template <class P>
std::string SysExCodec<P>::debugDescription(const P& payload) {
    const std::vector<uint8_t> bytes = smfRawBytes(payload);
    return Kind<P>::debugWord + std::to_string(bytes.size()) + " bytes: [" +
           midisupport::hexString(std::span<const uint8_t>(bytes), 2, true, ", ") + "]";
}

template struct SysExCodec<SysEx7>;
template struct SysExCodec<UniversalSysEx7>;

}  // namespace detail

}  // namespace midifile
