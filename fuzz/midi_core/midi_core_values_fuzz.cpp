// Arbitrary numbers through every construction, operation and conversion of the MIDI integers and
// channel-voice values. Each step must give an in-range value or raise the typed range exception,
// agree with its exact and wide-integer counterparts, and never reach undefined behaviour (NaNs,
// infinities and huge magnitudes included). Values that compare equal must hash equally.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "midi_core/chan_voice_values.hpp"
#include "midi_core/int7.hpp"
#include "midi_core/io_error.hpp"
#include "midi_core/scaling.hpp"
#include "midi_core/unsigned_integer.hpp"
#include "midi_support/exception.hpp"

namespace {

using namespace midicore;

void require(bool condition) {
    if (!condition) std::abort();
}

// Runs `make` and returns its value, or none when it raised a range exception.
template <class Make>
auto raisedOrValue(Make make) -> std::optional<decltype(make())> {
    try {
        return make();
    } catch (const midisupport::RaisedException&) {
        return std::nullopt;
    }
}

template <class UInt>
void integerSteps(uint64_t bits, double real) {
    const auto signedSource = static_cast<int64_t>(bits);
    const auto checked = raisedOrValue([&] { return UInt(signedSource); });
    require(checked == UInt::exactly(signedSource));
    require(raisedOrValue([&] { return UInt(bits); }) == UInt::exactly(bits));
    require(raisedOrValue([&] { return UInt(real); }) == UInt::exactly(real));
    require(UInt::clamping(signedSource) <= UInt::max());
    require(UInt::truncating(bits).value() == (bits & UInt::max().value()));

    const UInt a = UInt::truncating(bits);
    const UInt b = UInt::truncating(bits >> 32);
    const uint64_t x = a.value();
    const uint64_t y = b.value();
    const uint64_t max = UInt::max().value();
    require(raisedOrValue([&] { return a + b; }) == UInt::exactly(x + y));
    require(raisedOrValue([&] { return a * b; }) == UInt::exactly(x * y));
    require(raisedOrValue([&] { return a - b; }) ==
            (x >= y ? UInt::exactly(x - y) : std::optional<UInt>()));
    require(raisedOrValue([&] { return a / b; }) == (y ? UInt::exactly(x / y) : std::nullopt));
    require(raisedOrValue([&] { return a % b; }) == (y ? UInt::exactly(x % y) : std::nullopt));
    const int shift = static_cast<int8_t>(bits >> 56);
    const auto shifted = raisedOrValue([&] { return a << shift; });
    if (shift >= 0 && shift < 64 && x != 0) {
        const bool fits = shift < static_cast<int>(UInt::bitWidth) && (x << shift) <= max;
        require(fits ? shifted == UInt::exactly(x << shift) : !shifted);
    }
    require(raisedOrValue([&] { return a >> shift; }) ==
            raisedOrValue([&] { return a << -shift; }));
    require(raisedOrValue([&] { return a.advanced(signedSource); }).has_value() ==
            (signedSource >= -static_cast<int64_t>(x) &&
             signedSource <= static_cast<int64_t>(max - x)));
    require(~a == UInt::truncating(max - x));
}

void scalingSteps(double x, uint64_t bits) {
    require(unitIntervalToUInt7(x) <= 127);
    require(unitIntervalToUInt14(x) <= 16383);
    (void)unitIntervalToUInt16(x);
    (void)unitIntervalToUInt32(x);
    (void)uInt32FromBipolarUnitInterval(x);
    (void)uInt32FromBipolarUnitInterval(static_cast<float>(x));
    require(UInt14::fromBipolarUnitInterval(x) <= 16383);
    const auto v16 = static_cast<uint16_t>(bits);
    require(unitIntervalToUInt16(unitIntervalFromUInt16(v16)) == v16);
    const UInt14 v14 = UInt14::truncating(bits);
    require(unitIntervalToUInt14(unitIntervalFromUInt14(v14)) == v14);
    require(narrowedUInt14FromUInt32(upscaledUInt32FromUInt14(v14)) == v14);
    require(UInt14::fromBipolarUnitInterval(v14.bipolarUnitIntervalValue()) == v14);
}

template <class Value>
void requireHashAgrees(const Value& a, const Value& b) {
    if (a == b) require(a.hash() == b.hash());
    if (b == a) require(a.hash() == b.hash());
}

void valueSteps(double x, uint64_t bits) {
    const auto u7 = UInt7::truncating(bits);
    const auto u14 = UInt14::truncating(bits);
    const auto u32 = static_cast<uint32_t>(bits >> 16);
    const ChanVoice7Bit16BitValue velocity[] = {
        ChanVoice7Bit16BitValue::unitInterval(x), ChanVoice7Bit16BitValue::midi1(u7),
        ChanVoice7Bit16BitValue::midi2(static_cast<uint16_t>(u32))};
    const ChanVoice7Bit32BitValue amount[] = {ChanVoice7Bit32BitValue::unitInterval(x),
                                              ChanVoice7Bit32BitValue::midi1(u7),
                                              ChanVoice7Bit32BitValue::midi2(u32)};
    const ChanVoice14Bit32BitValue bend[] = {
        ChanVoice14Bit32BitValue::unitInterval(x), ChanVoice14Bit32BitValue::bipolarUnitInterval(x),
        ChanVoice14Bit32BitValue::midi1(u14), ChanVoice14Bit32BitValue::midi2(u32)};
    const ChanVoice32BitValue perNote[] = {ChanVoice32BitValue::unitInterval(x),
                                           ChanVoice32BitValue::midi2(u32)};
    auto all = [](const auto& values) {
        for (const auto& a : values) {
            for (const auto& b : values)
                requireHashAgrees(a, b);
            requireHashAgrees(a, a.clamped());
        }
    };
    all(velocity);
    all(amount);
    all(bend);
    all(perNote);
    require(bend[1].midi1Value() <= 16383 && amount[0].midi1Value() <= 127);
}

void otherSteps(uint64_t bits) {
    const auto source = static_cast<int64_t>(bits);
    require(raisedOrValue([&] { return Int7(source); }) == Int7::exactly(source));
    require(Int7::fromBitPattern(bits).uInt8Value() == (bits & 0x7F));
    const auto status = static_cast<OSStatus>(bits);
    require(MIDIOSStatus::fromRawValue(status).rawValue() == status);
    require(!MIDIOSStatus::fromRawValue(status).description().empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (size_t offset = 0; offset + 9 <= size; offset += 9) {
        uint64_t bits = 0;
        std::memcpy(&bits, data + offset + 1, sizeof bits);
        double real = 0;
        std::memcpy(&real, &bits, sizeof real);
        switch (data[offset] % 8) {
            case 0:
                integerSteps<UInt4>(bits, real);
                break;
            case 1:
                integerSteps<UInt7>(bits, real);
                break;
            case 2:
                integerSteps<UInt9>(bits, real);
                break;
            case 3:
                integerSteps<UInt14>(bits, real);
                break;
            case 4:
                integerSteps<UInt25>(bits, real);
                break;
            case 5:
                scalingSteps(real, bits);
                break;
            case 6:
                valueSteps(real, bits);
                break;
            default:
                otherSteps(bits);
                break;
        }
    }
    return 0;
}
