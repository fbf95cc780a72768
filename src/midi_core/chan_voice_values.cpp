#include "midi_core/chan_voice_values.hpp"

#include <algorithm>
#include <type_traits>

#include "midi_core/scaling.hpp"

namespace midicore {

namespace {

// A unit interval limited to 0...1; x <= 0, -0.0 and NaN give +0.0.
double clampedUnitInterval(double x) {
    if (!(x > 0.0)) return 0.0;
    return x < 1.0 ? x : 1.0;
}

// A bipolar interval limited to -1...1; NaN gives -1.
double clampedBipolarUnitInterval(double x) {
    if (!(x > -1.0)) return -1.0;
    return x < 1.0 ? x : 1.0;
}

template <class Case>
bool isFraction(Case c) {
    return c == Case::unitInterval;
}
template <>
bool isFraction(ChanVoice14Bit32BitValue::Case c) {
    using Case = ChanVoice14Bit32BitValue::Case;
    return c == Case::unitInterval || c == Case::bipolarUnitInterval;
}

// Equality across forms. A fraction against an integer: the fraction is converted to the
// integer's width. Two integers, or two fractions: the left operand is converted into the right
// operand's form. `samePayload` compares two values of one form.
template <class Value, class SamePayload>
bool formsEqual(const Value& a, const Value& b, SamePayload samePayload) {
    const auto left = a.valueCase();
    const auto right = b.valueCase();
    if (left == right) return samePayload(a, b);
    if (isFraction(left) == isFraction(right) || isFraction(left)) {
        return samePayload(a.inForm(right), b);
    }
    return samePayload(a, b.inForm(left));
}

}  // namespace

// --- ChanVoice7BitValue

namespace {

// The conversions between the MIDI 2.0 width and the other forms.
double unitIntervalFromMidi2(uint16_t v) {
    return unitIntervalFromUInt16(v);
}
double unitIntervalFromMidi2(uint32_t v) {
    return unitIntervalFromUInt32(v);
}
UInt7 narrowedFromMidi2(uint16_t v) {
    return narrowedUInt7FromUInt16(v);
}
UInt7 narrowedFromMidi2(uint32_t v) {
    return narrowedUInt7FromUInt32(v);
}

template <class Midi2>
Midi2 unitIntervalToMidi2(double x) {
    if constexpr (std::is_same_v<Midi2, uint16_t>) {
        return unitIntervalToUInt16(x);
    } else {
        return unitIntervalToUInt32(x);
    }
}

template <class Midi2>
Midi2 upscaledToMidi2(UInt7 v) {
    if constexpr (std::is_same_v<Midi2, uint16_t>) {
        return upscaledUInt16FromUInt7(v);
    } else {
        return upscaledUInt32FromUInt7(v);
    }
}

}  // namespace

template <class Midi2>
requires(
    std::same_as<Midi2, uint16_t> ||
    std::same_as<Midi2, uint32_t>) double ChanVoice7BitValue<Midi2>::unitIntervalValue() const {
    switch (valueCase()) {
        case Case::unitInterval:
            return clampedUnitInterval(std::get<0>(value_));
        case Case::midi1:
            return unitIntervalFromUInt7(std::get<1>(value_));
        case Case::midi2:
            return unitIntervalFromMidi2(std::get<2>(value_));
    }
    return 0.0;
}

template <class Midi2>
requires(std::same_as<Midi2, uint16_t> ||
         std::same_as<Midi2, uint32_t>) UInt7 ChanVoice7BitValue<Midi2>::midi1Value()
const {
    switch (valueCase()) {
        case Case::unitInterval:
            return unitIntervalToUInt7(std::get<0>(value_));
        case Case::midi1:
            return std::get<1>(value_);
        case Case::midi2:
            return narrowedFromMidi2(std::get<2>(value_));
    }
    return UInt7();
}

template <class Midi2>
requires(std::same_as<Midi2, uint16_t> ||
         std::same_as<Midi2, uint32_t>) Midi2 ChanVoice7BitValue<Midi2>::midi2Value()
const {
    switch (valueCase()) {
        case Case::unitInterval:
            return unitIntervalToMidi2<Midi2>(std::get<0>(value_));
        case Case::midi1:
            return upscaledToMidi2<Midi2>(std::get<1>(value_));
        case Case::midi2:
            return std::get<2>(value_);
    }
    return 0;
}

template <class Midi2>
requires(std::same_as<Midi2, uint16_t> || std::same_as<Midi2, uint32_t>)
    ChanVoice7BitValue<Midi2> ChanVoice7BitValue<Midi2>::inForm(Case target)
const {
    if (target == valueCase()) return *this;
    switch (target) {
        case Case::unitInterval:
            return unitInterval(unitIntervalValue());
        case Case::midi1:
            return midi1(midi1Value());
        case Case::midi2:
            return midi2(midi2Value());
    }
    return *this;
}

template <class Midi2>
requires(std::same_as<Midi2, uint16_t> || std::same_as<Midi2, uint32_t>)
    ChanVoice7BitValue<Midi2> ChanVoice7BitValue<Midi2>::clamped()
const {
    if (valueCase() != Case::unitInterval) return *this;
    return unitInterval(clampedUnitInterval(std::get<0>(value_)));
}

template <class Midi2>
requires(std::same_as<Midi2, uint16_t> || std::same_as<Midi2, uint32_t>) bool ChanVoice7BitValue<
    Midi2>::equals(const ChanVoice7BitValue& other) const {
    return formsEqual(*this, other,
                      [](const auto& x, const auto& y) { return x.value_ == y.value_; });
}

// Equality links each value to the 7-bit integer it converts to, and above the midpoint the 16-
// and 32-bit scalings of a fraction round differently from the 7-bit one, so that fractions tie
// every value from 64 to 127 to its neighbours; below 64 the forms agree exactly. Hashing by
// min(7-bit value, 64) is therefore the finest hash that agrees with equality.
template <class Midi2>
requires(std::same_as<Midi2, uint16_t> ||
         std::same_as<Midi2, uint32_t>) size_t ChanVoice7BitValue<Midi2>::hash()
const {
    return std::hash<unsigned>{}(std::min(midi1Value().value(), uint8_t{64}));
}

template class ChanVoice7BitValue<uint16_t>;
template class ChanVoice7BitValue<uint32_t>;

// --- ChanVoice14Bit32BitValue

double ChanVoice14Bit32BitValue::unitIntervalValue() const {
    switch (valueCase()) {
        case Case::unitInterval:
            return clampedUnitInterval(std::get<0>(value_));
        case Case::bipolarUnitInterval:
            return unitIntervalFromBipolarUnitInterval(std::get<1>(value_));
        case Case::midi1:
            return unitIntervalFromUInt14(std::get<2>(value_));
        case Case::midi2:
            return unitIntervalFromUInt32(std::get<3>(value_));
    }
    return 0.0;
}

double ChanVoice14Bit32BitValue::bipolarUnitIntervalValue() const {
    switch (valueCase()) {
        case Case::unitInterval:
            return bipolarUnitIntervalFromUnitInterval(std::get<0>(value_));
        case Case::bipolarUnitInterval:
            return std::get<1>(value_);
        case Case::midi1:
            return std::get<2>(value_).bipolarUnitIntervalValue();
        case Case::midi2:
            return bipolarUnitIntervalFromUInt32(std::get<3>(value_));
    }
    return 0.0;
}

UInt14 ChanVoice14Bit32BitValue::midi1Value() const {
    switch (valueCase()) {
        case Case::unitInterval:
            return unitIntervalToUInt14(std::get<0>(value_));
        case Case::bipolarUnitInterval:
            return UInt14::fromBipolarUnitInterval(std::get<1>(value_));
        case Case::midi1:
            return std::get<2>(value_);
        case Case::midi2:
            return narrowedUInt14FromUInt32(std::get<3>(value_));
    }
    return UInt14();
}

uint32_t ChanVoice14Bit32BitValue::midi2Value() const {
    switch (valueCase()) {
        case Case::unitInterval:
            return unitIntervalToUInt32(std::get<0>(value_));
        case Case::bipolarUnitInterval:
            return uInt32FromBipolarUnitInterval(std::get<1>(value_));
        case Case::midi1:
            return upscaledUInt32FromUInt14(std::get<2>(value_));
        case Case::midi2:
            return std::get<3>(value_);
    }
    return 0;
}

ChanVoice14Bit32BitValue ChanVoice14Bit32BitValue::inForm(Case target) const {
    if (target == valueCase()) return *this;
    switch (target) {
        case Case::unitInterval:
            return unitInterval(unitIntervalValue());
        case Case::bipolarUnitInterval:
            return bipolarUnitInterval(bipolarUnitIntervalValue());
        case Case::midi1:
            return midi1(midi1Value());
        case Case::midi2:
            return midi2(midi2Value());
    }
    return *this;
}

ChanVoice14Bit32BitValue ChanVoice14Bit32BitValue::clamped() const {
    switch (valueCase()) {
        case Case::unitInterval:
            return unitInterval(clampedUnitInterval(std::get<0>(value_)));
        case Case::bipolarUnitInterval:
            return bipolarUnitInterval(clampedBipolarUnitInterval(std::get<1>(value_)));
        default:
            return *this;
    }
}

bool operator==(const ChanVoice14Bit32BitValue& a, const ChanVoice14Bit32BitValue& b) {
    return formsEqual(a, b, [](const auto& x, const auto& y) { return x.value_ == y.value_; });
}

// Equality chains every pitch-bend value to its neighbours: below the centre the 14-bit and the
// 32-bit bipolar scalings truncate toward different ends, above it the unit and bipolar scalings
// round differently, and each fraction equals both of its integers. All values are thereby
// linked, so the only hash that agrees with equality is a constant one. Records that hold a
// pitch-bend value still hash their other fields.
size_t ChanVoice14Bit32BitValue::hash() const {
    return 0x5EED;
}

// --- ChanVoice32BitValue

ChanVoice32BitValue ChanVoice32BitValue::midi1SevenBit(UInt7 v) {
    return midi2(upscaledUInt32FromUInt7(v));
}

ChanVoice32BitValue ChanVoice32BitValue::midi1FourteenBit(UInt14 v) {
    return midi2(upscaledUInt32FromUInt14(v));
}

double ChanVoice32BitValue::unitIntervalValue() const {
    if (valueCase() == Case::unitInterval) return clampedUnitInterval(std::get<0>(value_));
    return unitIntervalFromUInt32(std::get<1>(value_));
}

uint32_t ChanVoice32BitValue::midi2Value() const {
    if (valueCase() == Case::unitInterval) return unitIntervalToUInt32(std::get<0>(value_));
    return std::get<1>(value_);
}

UInt7 ChanVoice32BitValue::midi1_7BitValue() const {
    if (valueCase() == Case::unitInterval) return unitIntervalToUInt7(std::get<0>(value_));
    return narrowedUInt7FromUInt32(std::get<1>(value_));
}

UInt14 ChanVoice32BitValue::midi1_14BitValue() const {
    if (valueCase() == Case::unitInterval) return unitIntervalToUInt14(std::get<0>(value_));
    return narrowedUInt14FromUInt32(std::get<1>(value_));
}

ChanVoice32BitValue ChanVoice32BitValue::inForm(Case target) const {
    if (target == valueCase()) return *this;
    return target == Case::unitInterval ? unitInterval(unitIntervalValue()) : midi2(midi2Value());
}

ChanVoice32BitValue ChanVoice32BitValue::clamped() const {
    if (valueCase() != Case::unitInterval) return *this;
    return unitInterval(clampedUnitInterval(std::get<0>(value_)));
}

bool operator==(const ChanVoice32BitValue& a, const ChanVoice32BitValue& b) {
    return formsEqual(a, b, [](const auto& x, const auto& y) { return x.value_ == y.value_; });
}

// A unit interval equals exactly the 32-bit integer it converts to, so the 32-bit form is the
// hash.
size_t ChanVoice32BitValue::hash() const {
    return std::hash<uint32_t>{}(midi2Value());
}

}  // namespace midicore
