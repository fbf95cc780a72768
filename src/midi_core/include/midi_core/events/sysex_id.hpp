// Who a System Exclusive message comes from: the byte or bytes right after the start byte. A
// manufacturer has a one-byte ID (0x01...0x7D) or a three-byte ID (0x00 and two 7-bit bytes);
// the two universal IDs (0x7E non-real time, 0x7F real time) belong to no manufacturer.
//
// Each ID has two byte forms: the 7-bit form of the MIDI 1.0 stream (one or three bytes) and the
// two-byte manufacturer field of 8-bit system exclusive packets (a one-byte ID as 0x00, ID; a
// three-byte ID 0x00, b2, b3 as 0x80 + b2, b3; a universal ID as 0x00, ID). The readers of both
// forms give no value for bytes that are not an ID of that form; they never throw.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "midi_core/unsigned_integer.hpp"
#include "midi_core/wire.hpp"

namespace midicore::events {

// The 7-bit byte form of an ID: one or three bytes.
using SysExIDBytes = SmallVector<uint8_t, 3>;

// The type of a universal message: real time (0x7F) or non-real time (0x7E).
class UniversalSysExType {
  public:
    enum class Case : uint8_t { realTime, nonRealTime };
    using enum Case;

    constexpr UniversalSysExType(Case typeCase) : case_(typeCase) {}

    // 0x7F gives realTime, 0x7E nonRealTime, anything else none.
    static constexpr std::optional<UniversalSysExType> fromRawValue(UInt7 raw) {
        if (raw == 0x7F) return UniversalSysExType(realTime);
        if (raw == 0x7E) return UniversalSysExType(nonRealTime);
        return std::nullopt;
    }
    // As fromRawValue; a byte with bit 7 set gives none.
    static constexpr std::optional<UniversalSysExType> fromRawUInt8Value(uint8_t raw) {
        const auto value = UInt7::exactly(raw);
        return value ? fromRawValue(*value) : std::nullopt;
    }

    constexpr Case typeCase() const { return case_; }
    // 0x7F or 0x7E.
    constexpr UInt7 rawValue() const { return UInt7(case_ == realTime ? 0x7F : 0x7E); }
    // "realTime" or "nonRealTime".
    std::string description() const;

    friend constexpr bool operator==(UniversalSysExType, UniversalSysExType) = default;
    size_t hash() const { return rawValue().hash(); }
    friend std::ostream& operator<<(std::ostream& out, UniversalSysExType type) {
        return out << type.description();
    }

  private:
    Case case_;
};

// A manufacturer's ID.
class SysExManufacturer {
  public:
    enum class Case : uint8_t { oneByte, threeByte };
    struct OneByte {
        UInt7 id;
        friend constexpr bool operator==(const OneByte&, const OneByte&) = default;
    };
    // The ID 0x00, byte2, byte3.
    struct ThreeByte {
        UInt7 byte2;
        UInt7 byte3;
        friend constexpr bool operator==(const ThreeByte&, const ThreeByte&) = default;
    };

    static constexpr SysExManufacturer oneByte(UInt7 id) { return SysExManufacturer(OneByte{id}); }
    static constexpr SysExManufacturer threeByte(UInt7 byte2, UInt7 byte3) {
        return SysExManufacturer(ThreeByte{byte2, byte3});
    }

    // Exactly one byte in 0x01...0x7D gives oneByte; exactly three bytes 0x00, b2, b3 with b2 and
    // b3 below 0x80 give threeByte; anything else none.
    static std::optional<SysExManufacturer> fromSysEx7RawBytes(std::span<const uint8_t> bytes);
    // Exactly two bytes: 0x00 and an ID in 0x01...0x7D give oneByte; a first byte of 0x80 or more
    // and a second below 0x80 give threeByte (byte2 = first & 0x7F); anything else none.
    static std::optional<SysExManufacturer> fromSysEx8RawBytes(std::span<const uint8_t> bytes);

    constexpr Case manufacturerCase() const { return static_cast<Case>(value_.index()); }
    constexpr const std::variant<OneByte, ThreeByte>& value() const { return value_; }

    // The ID byte, or 0x00, byte2, byte3.
    SysExIDBytes sysEx7RawBytes() const;
    // 0x00, ID; or 0x80 + byte2, byte3.
    std::array<uint8_t, 2> sysEx8RawBytes() const;

    // A one-byte ID in 0x01...0x7D; a three-byte ID other than 0x00 0x00 0x00.
    bool isValid() const;
    // The registered company name of this ID (the table of manufacturer_names.hpp), none for an
    // ID that is not listed.
    std::optional<std::string_view> name() const;
    // The 7-bit bytes as "0x41" or "0x00 0x20 0x33".
    std::string description() const;

    friend constexpr bool operator==(const SysExManufacturer&, const SysExManufacturer&) = default;
    // The case, then the ID bytes.
    size_t hash() const;
    friend std::ostream& operator<<(std::ostream& out, const SysExManufacturer& m) {
        return out << m.description();
    }

  private:
    constexpr explicit SysExManufacturer(std::variant<OneByte, ThreeByte> value)
        : value_(value) {}
    std::variant<OneByte, ThreeByte> value_;
};

// The ID of any System Exclusive message: a manufacturer or a universal type.
class SysExID {
  public:
    enum class Case : uint8_t { manufacturer, universal };

    static constexpr SysExID manufacturer(SysExManufacturer m) { return SysExID(m); }
    static constexpr SysExID universal(UniversalSysExType type) { return SysExID(type); }

    // A manufacturer's 7-bit form, else exactly one byte 0x7E or 0x7F; anything else none.
    static std::optional<SysExID> fromSysEx7RawBytes(std::span<const uint8_t> bytes);
    // A manufacturer's two-byte form, else exactly 0x00 0x7E or 0x00 0x7F; anything else none.
    static std::optional<SysExID> fromSysEx8RawBytes(std::span<const uint8_t> bytes);

    constexpr Case idCase() const { return static_cast<Case>(value_.index()); }
    constexpr const std::variant<SysExManufacturer, UniversalSysExType>& value() const {
        return value_;
    }

    // A manufacturer's 7-bit bytes, or the universal byte 0x7E / 0x7F.
    SysExIDBytes sysEx7RawBytes() const;
    // A manufacturer's two bytes, or 0x00 and the universal byte.
    std::array<uint8_t, 2> sysEx8RawBytes() const;
    // "manufacturer(0x41)", "universal(realTime)".
    std::string description() const;

    friend constexpr bool operator==(const SysExID&, const SysExID&) = default;
    size_t hash() const;
    friend std::ostream& operator<<(std::ostream& out, const SysExID& id) {
        return out << id.description();
    }

  private:
    constexpr explicit SysExID(std::variant<SysExManufacturer, UniversalSysExType> value)
        : value_(value) {}
    std::variant<SysExManufacturer, UniversalSysExType> value_;
};

}  // namespace midicore::events

template <>
struct std::hash<midicore::events::UniversalSysExType> {
    size_t operator()(midicore::events::UniversalSysExType t) const { return t.hash(); }
};
template <>
struct std::hash<midicore::events::SysExManufacturer> {
    size_t operator()(const midicore::events::SysExManufacturer& m) const { return m.hash(); }
};
template <>
struct std::hash<midicore::events::SysExID> {
    size_t operator()(const midicore::events::SysExID& id) const { return id.hash(); }
};
