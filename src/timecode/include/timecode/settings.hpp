// The settings a timecode carries besides its frame rate (string format, subframes base, upper
// limit) and its six components. Timecode brings each of these in as a member name
// (Timecode::SubFramesBase, Timecode::Components, ...).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace timecode {

// ---- string format ------------------------------------------------------------------------

enum class StringFormatParameter : uint8_t { showSubFrames };

inline constexpr std::array<StringFormatParameter, 1> allStringFormatParameters{
    StringFormatParameter::showSubFrames};
std::string_view rawValue(StringFormatParameter parameter);
std::optional<StringFormatParameter> stringFormatParameterFromRawValue(std::string_view text);

// A set of StringFormatParameter; the default (empty) format shows no subframes.
class StringFormat {
  public:
    constexpr StringFormat() = default;
    constexpr StringFormat(std::initializer_list<StringFormatParameter> parameters) {
        for (auto p : parameters) insert(p);
    }
    constexpr bool contains(StringFormatParameter p) const { return (bits_ & bit(p)) != 0; }
    constexpr void insert(StringFormatParameter p) { bits_ |= bit(p); }
    constexpr void erase(StringFormatParameter p) { bits_ &= static_cast<uint8_t>(~bit(p)); }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr bool showSubFrames() const { return contains(StringFormatParameter::showSubFrames); }
    constexpr void setShowSubFrames(bool on) {
        on ? insert(StringFormatParameter::showSubFrames) : erase(StringFormatParameter::showSubFrames);
    }
    friend constexpr bool operator==(const StringFormat&, const StringFormat&) = default;

  private:
    static constexpr uint8_t bit(StringFormatParameter p) {
        return static_cast<uint8_t>(1u << static_cast<unsigned>(p));
    }
    uint8_t bits_ = 0;
};

inline constexpr StringFormat defaultStringFormat{};

// ---- subframes base -----------------------------------------------------------------------

enum class SubFramesBase : uint8_t { _80SubFrames, _100SubFrames, quarterFrames };

inline constexpr std::array<SubFramesBase, 3> allSubFramesBases{
    SubFramesBase::_80SubFrames, SubFramesBase::_100SubFrames, SubFramesBase::quarterFrames};

// Subframes per frame: 80, 100 or 4 (also the raw value).
constexpr int64_t divisor(SubFramesBase base) {
    switch (base) {
        case SubFramesBase::_80SubFrames: return 80;
        case SubFramesBase::_100SubFrames: return 100;
        case SubFramesBase::quarterFrames: return 4;
    }
    return 80;
}
constexpr int64_t maxSubFrames(SubFramesBase base) { return divisor(base) - 1; }
constexpr int64_t rawValue(SubFramesBase base) { return divisor(base); }
std::optional<SubFramesBase> subFramesBaseFromRawValue(int64_t raw);
std::string description(SubFramesBase base);
// `subFrames` of base `from` in base `to`: unchanged for equal divisors or 0, else
// subFrames / from x to in double precision truncated toward zero (held to the 64-bit range).
int64_t convert(int64_t subFrames, SubFramesBase from, SubFramesBase to);

// ---- upper limit --------------------------------------------------------------------------

enum class UpperLimit : uint8_t { _24hours, _100days };

inline constexpr std::array<UpperLimit, 2> allUpperLimits{UpperLimit::_24hours, UpperLimit::_100days};
std::string_view rawValue(UpperLimit limit);  // "24 hours", "100 days"
std::optional<UpperLimit> upperLimitFromRawValue(std::string_view text);
// The largest valid days component: 0 or 99.
constexpr int64_t maxDays(UpperLimit limit) { return limit == UpperLimit::_100days ? 99 : 0; }

// ---- components ---------------------------------------------------------------------------

enum class Component : uint8_t { days, hours, minutes, seconds, frames, subFrames };

inline constexpr std::array<Component, 6> allComponents{Component::days,    Component::hours,
                                                         Component::minutes, Component::seconds,
                                                         Component::frames,  Component::subFrames};

// A set of Component (the set of invalid components of a timecode, for example).
class ComponentSet {
  public:
    constexpr ComponentSet() = default;
    constexpr ComponentSet(std::initializer_list<Component> components) {
        for (auto c : components) insert(c);
    }
    constexpr bool contains(Component c) const { return (bits_ & bit(c)) != 0; }
    constexpr void insert(Component c) { bits_ |= bit(c); }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr int size() const {
        int n = 0;
        for (auto c : allComponents) n += contains(c) ? 1 : 0;
        return n;
    }
    friend constexpr bool operator==(const ComponentSet&, const ComponentSet&) = default;

  private:
    static constexpr uint8_t bit(Component c) { return static_cast<uint8_t>(1u << static_cast<unsigned>(c)); }
    uint8_t bits_ = 0;
};

class TimecodeFrameRate;

// Days, hours, minutes, seconds, frames and subframes of a timecode, unchecked.
struct Components {
    int64_t d = 0;
    int64_t h = 0;
    int64_t m = 0;
    int64_t s = 0;
    int64_t f = 0;
    int64_t sf = 0;

    int64_t& operator[](Component c);
    int64_t operator[](Component c) const;
    // The components out of range at `rate`, `limit` and `base` (see validation.hpp).
    ComponentSet invalidComponents(const TimecodeFrameRate& rate, UpperLimit limit,
                                   SubFramesBase base) const;
    friend constexpr bool operator==(const Components&, const Components&) = default;
};

}  // namespace timecode
