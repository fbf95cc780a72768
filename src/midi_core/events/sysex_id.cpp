#include "midi_core/events/sysex_id.hpp"

#include <algorithm>

#include "hashing.hpp"
#include "midi_core/events/manufacturer_names.hpp"
#include "text.hpp"

namespace midicore::events {

namespace {

constexpr bool isOneByteID(uint8_t byte) { return byte >= 0x01 && byte <= 0x7D; }

// (length, bytes) order, the order of the name table.
bool keyLess(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    if (a.size() != b.size()) return a.size() < b.size();
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

}  // namespace

std::string UniversalSysExType::description() const {
    return case_ == realTime ? "realTime" : "nonRealTime";
}

// Manufacturer.

std::optional<SysExManufacturer> SysExManufacturer::fromSysEx7RawBytes(
    std::span<const uint8_t> bytes) {
    if (bytes.size() == 1 && isOneByteID(bytes[0])) return oneByte(UInt7(bytes[0]));
    if (bytes.size() == 3 && bytes[0] == 0x00 && bytes[1] < 0x80 && bytes[2] < 0x80) {
        return threeByte(UInt7(bytes[1]), UInt7(bytes[2]));
    }
    return std::nullopt;
}

std::optional<SysExManufacturer> SysExManufacturer::fromSysEx8RawBytes(
    std::span<const uint8_t> bytes) {
    if (bytes.size() != 2) return std::nullopt;
    if (bytes[0] == 0x00) {
        if (isOneByteID(bytes[1])) return oneByte(UInt7(bytes[1]));
        return std::nullopt;
    }
    if (bytes[0] >= 0x80 && bytes[1] < 0x80) {
        return threeByte(UInt7::truncating(bytes[0]), UInt7(bytes[1]));
    }
    return std::nullopt;
}

SysExIDBytes SysExManufacturer::sysEx7RawBytes() const {
    if (const auto* one = std::get_if<OneByte>(&value_)) return {one->id.value()};
    const auto& three = std::get<ThreeByte>(value_);
    return {0x00, three.byte2.value(), three.byte3.value()};
}

std::array<uint8_t, 2> SysExManufacturer::sysEx8RawBytes() const {
    if (const auto* one = std::get_if<OneByte>(&value_)) return {0x00, one->id.value()};
    const auto& three = std::get<ThreeByte>(value_);
    return {static_cast<uint8_t>(0x80 | three.byte2.value()), three.byte3.value()};
}

bool SysExManufacturer::isValid() const {
    if (const auto* one = std::get_if<OneByte>(&value_)) return isOneByteID(one->id.value());
    const auto& three = std::get<ThreeByte>(value_);
    return !(three.byte2 == 0 && three.byte3 == 0);
}

std::optional<std::string_view> SysExManufacturer::name() const {
    return sysExManufacturerName(sysEx7RawBytes().span());
}

std::string SysExManufacturer::description() const {
    return text::byteList(sysEx7RawBytes().span());
}

size_t SysExManufacturer::hash() const {
    size_t seed = std::hash<int>{}(static_cast<int>(manufacturerCase()));
    for (uint8_t byte : sysEx7RawBytes()) seed = midicore::detail::hashCombine(seed, byte);
    return seed;
}

// Any ID.

std::optional<SysExID> SysExID::fromSysEx7RawBytes(std::span<const uint8_t> bytes) {
    if (auto m = SysExManufacturer::fromSysEx7RawBytes(bytes)) return manufacturer(*m);
    if (bytes.size() == 1) {
        if (auto type = UniversalSysExType::fromRawUInt8Value(bytes[0])) return universal(*type);
    }
    return std::nullopt;
}

std::optional<SysExID> SysExID::fromSysEx8RawBytes(std::span<const uint8_t> bytes) {
    if (auto m = SysExManufacturer::fromSysEx8RawBytes(bytes)) return manufacturer(*m);
    if (bytes.size() == 2 && bytes[0] == 0x00) {
        if (auto type = UniversalSysExType::fromRawUInt8Value(bytes[1])) return universal(*type);
    }
    return std::nullopt;
}

SysExIDBytes SysExID::sysEx7RawBytes() const {
    if (const auto* m = std::get_if<SysExManufacturer>(&value_)) return m->sysEx7RawBytes();
    return {std::get<UniversalSysExType>(value_).rawValue().value()};
}

std::array<uint8_t, 2> SysExID::sysEx8RawBytes() const {
    if (const auto* m = std::get_if<SysExManufacturer>(&value_)) return m->sysEx8RawBytes();
    return {0x00, std::get<UniversalSysExType>(value_).rawValue().value()};
}

std::string SysExID::description() const {
    if (const auto* m = std::get_if<SysExManufacturer>(&value_)) {
        return "manufacturer(" + m->description() + ")";
    }
    return "universal(" + std::get<UniversalSysExType>(value_).description() + ")";
}

size_t SysExID::hash() const {
    const size_t payload = std::visit([](const auto& v) { return v.hash(); }, value_);
    return midicore::detail::hashCombine(std::hash<int>{}(static_cast<int>(idCase())), payload);
}

// Names.

std::optional<std::string_view> sysExManufacturerName(std::span<const uint8_t> key) {
    const auto rows = sysExManufacturerNames();
    const auto row = std::lower_bound(rows.begin(), rows.end(), key,
                                      [](const SysExManufacturerNameRow& r,
                                         std::span<const uint8_t> k) { return keyLess(r.key(), k); });
    if (row == rows.end() || keyLess(key, row->key())) return std::nullopt;
    return row->name;
}

}  // namespace midicore::events
