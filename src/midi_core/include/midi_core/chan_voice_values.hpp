// The values of channel-voice events (velocity, controller value, pressure, pitch bend), held in
// whichever form the caller gave them: a fraction, a MIDI 1.0 integer or a MIDI 2.0 integer.
// Each accessor gives the value in one form, converting with the functions of scaling.hpp when
// the value was given in another. MIDIEvent names these types MIDIEvent::ChanVoice7Bit16BitValue
// and so on.
//
// Equality across forms converts one side first: a fraction against an integer is converted to
// the integer's width; otherwise the left operand is converted into the right operand's form. It
// is therefore not symmetric between a MIDI 1.0 and a MIDI 2.0 integer (midi2 0xFE00 equals midi1
// 127, but midi1 127 widens to 0xFFFF and does not equal midi2 0xFE00). Hashing agrees with this
// equality: values that compare equal hash equally.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <variant>

#include "midi_core/unsigned_integer.hpp"

namespace midicore {

// The holder that event records keep their values in. Construction stores the value unchanged;
// assignment through `set` or `modify` clamps a fraction into its interval (a unit interval to
// 0...1, where x <= 0, -0.0 and NaN give +0.0; a bipolar interval to -1...1, NaN giving -1).
// Integer forms are stored unchanged. Compares and hashes as its value.
template <class Value>
class ValidatedValue {
  public:
    constexpr explicit ValidatedValue(Value value) : value_(value) {}

    const Value& value() const { return value_; }
    void set(Value value) { value_ = value.clamped(); }
    // Hands `update` a copy of the value to change, then stores the result as `set` does.
    template <class Update>
    void modify(Update&& update) {
        Value changed = value_;
        std::forward<Update>(update)(changed);
        set(changed);
    }

    friend bool operator==(const ValidatedValue&, const ValidatedValue&) = default;
    size_t hash() const { return value_.hash(); }

  private:
    Value value_;
};

// A value whose MIDI 1.0 form has 7 bits and whose MIDI 2.0 form has the bits of `Midi2`:
// ChanVoice7Bit16BitValue (note velocity) and ChanVoice7Bit32BitValue (controller value,
// polyphonic and channel pressure).
template <class Midi2>
requires(std::same_as<Midi2, uint16_t> || std::same_as<Midi2, uint32_t>) class ChanVoice7BitValue {
  public:
    enum class Case { unitInterval, midi1, midi2 };
    using Validated = ValidatedValue<ChanVoice7BitValue>;

    static ChanVoice7BitValue unitInterval(double x) { return {std::in_place_index<0>, x}; }
    static ChanVoice7BitValue midi1(UInt7 v) { return {std::in_place_index<1>, v}; }
    static ChanVoice7BitValue midi2(Midi2 v) { return {std::in_place_index<2>, v}; }

    Case valueCase() const { return static_cast<Case>(value_.index()); }
    double unitIntervalValue() const;
    UInt7 midi1Value() const;
    Midi2 midi2Value() const;
    // The same value given in the target form (itself when it already has that form).
    ChanVoice7BitValue inForm(Case target) const;
    // The value as an assignment through Validated stores it.
    ChanVoice7BitValue clamped() const;

    friend bool operator==(const ChanVoice7BitValue& a, const ChanVoice7BitValue& b) {
        return a.equals(b);
    }
    size_t hash() const;

  private:
    template <size_t I, class T>
    ChanVoice7BitValue(std::in_place_index_t<I> index, T payload) : value_(index, payload) {}
    bool equals(const ChanVoice7BitValue& other) const;
    std::variant<double, UInt7, Midi2> value_;
};

using ChanVoice7Bit16BitValue = ChanVoice7BitValue<uint16_t>;
using ChanVoice7Bit32BitValue = ChanVoice7BitValue<uint32_t>;
extern template class ChanVoice7BitValue<uint16_t>;
extern template class ChanVoice7BitValue<uint32_t>;

// Channel pitch bend: a unit interval, a bipolar interval (-1...1, 0 = centre), a 14-bit or a
// 32-bit integer.
class ChanVoice14Bit32BitValue {
  public:
    enum class Case { unitInterval, bipolarUnitInterval, midi1, midi2 };
    using Validated = ValidatedValue<ChanVoice14Bit32BitValue>;

    static ChanVoice14Bit32BitValue unitInterval(double x) { return {std::in_place_index<0>, x}; }
    static ChanVoice14Bit32BitValue bipolarUnitInterval(double x) {
        return {std::in_place_index<1>, x};
    }
    static ChanVoice14Bit32BitValue midi1(UInt14 v) { return {std::in_place_index<2>, v}; }
    static ChanVoice14Bit32BitValue midi2(uint32_t v) { return {std::in_place_index<3>, v}; }

    Case valueCase() const { return static_cast<Case>(value_.index()); }
    double unitIntervalValue() const;
    double bipolarUnitIntervalValue() const;
    UInt14 midi1Value() const;
    uint32_t midi2Value() const;
    ChanVoice14Bit32BitValue inForm(Case target) const;
    ChanVoice14Bit32BitValue clamped() const;

    friend bool operator==(const ChanVoice14Bit32BitValue& a, const ChanVoice14Bit32BitValue& b);
    size_t hash() const;

  private:
    template <size_t I, class T>
    ChanVoice14Bit32BitValue(std::in_place_index_t<I> index, T payload) : value_(index, payload) {}
    std::variant<double, double, UInt14, uint32_t> value_;
};

// MIDI 2.0-only values (per-note pitch bend, per-note controllers): a unit interval or a 32-bit
// integer.
class ChanVoice32BitValue {
  public:
    enum class Case { unitInterval, midi2 };
    using Validated = ValidatedValue<ChanVoice32BitValue>;

    static ChanVoice32BitValue unitInterval(double x) { return {std::in_place_index<0>, x}; }
    static ChanVoice32BitValue midi2(uint32_t v) { return {std::in_place_index<1>, v}; }
    // A MIDI 1.0 value widened to 32 bits, held as `midi2`.
    static ChanVoice32BitValue midi1SevenBit(UInt7 v);
    static ChanVoice32BitValue midi1FourteenBit(UInt14 v);

    Case valueCase() const { return static_cast<Case>(value_.index()); }
    double unitIntervalValue() const;
    uint32_t midi2Value() const;
    UInt7 midi1_7BitValue() const;
    UInt14 midi1_14BitValue() const;
    ChanVoice32BitValue inForm(Case target) const;
    ChanVoice32BitValue clamped() const;

    friend bool operator==(const ChanVoice32BitValue& a, const ChanVoice32BitValue& b);
    size_t hash() const;

  private:
    template <size_t I, class T>
    ChanVoice32BitValue(std::in_place_index_t<I> index, T payload) : value_(index, payload) {}
    std::variant<double, uint32_t> value_;
};

}  // namespace midicore

template <class Midi2>
struct std::hash<midicore::ChanVoice7BitValue<Midi2>> {
    size_t operator()(const midicore::ChanVoice7BitValue<Midi2>& v) const { return v.hash(); }
};
template <>
struct std::hash<midicore::ChanVoice14Bit32BitValue> {
    size_t operator()(const midicore::ChanVoice14Bit32BitValue& v) const { return v.hash(); }
};
template <>
struct std::hash<midicore::ChanVoice32BitValue> {
    size_t operator()(const midicore::ChanVoice32BitValue& v) const { return v.hash(); }
};
template <class Value>
struct std::hash<midicore::ValidatedValue<Value>> {
    size_t operator()(const midicore::ValidatedValue<Value>& v) const { return v.hash(); }
};
