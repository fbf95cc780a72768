// Fixed-width numbers to bytes and back in a chosen byte order, and byte collections to byte
// buffers. Reading forms give no value for a wrong input length, never a partial read.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <optional>
#include <ranges>
#include <span>
#include <type_traits>
#include <vector>

namespace midisupport {

// `platformDefault` is the host's memory order: bytes taken or written as they lie.
enum class NumberEndianness { platformDefault, littleEndian, bigEndian };

// The host's byte order.
inline constexpr NumberEndianness systemEndianness = std::endian::native == std::endian::little
                                                         ? NumberEndianness::littleEndian
                                                         : NumberEndianness::bigEndian;

namespace detail {

template <class T>
concept ByteConvertible = std::integral<T> || std::same_as<T, float> || std::same_as<T, double>;

// Whether bytes stored in `order` are reversed against the host's memory order.
constexpr bool reversed(NumberEndianness order) {
    return order != NumberEndianness::platformDefault && order != systemEndianness;
}

}  // namespace detail

// The value whose bytes, stored in `order`, are `bytes`; none unless exactly sizeof(T) bytes. The
// named forms below are this for the common widths.
template <detail::ByteConvertible T>
std::optional<T> fromBytes(std::span<const uint8_t> bytes,
                           NumberEndianness order = NumberEndianness::platformDefault) {
    if (bytes.size() != sizeof(T)) return std::nullopt;
    std::array<uint8_t, sizeof(T)> raw;
    std::copy(bytes.begin(), bytes.end(), raw.begin());
    if (detail::reversed(order)) std::reverse(raw.begin(), raw.end());
    T value;
    std::memcpy(&value, raw.data(), sizeof(T));
    return value;
}

inline std::optional<uint8_t> toUInt8(std::span<const uint8_t> bytes) {
    return fromBytes<uint8_t>(bytes);
}
inline std::optional<int8_t> toInt8(std::span<const uint8_t> bytes) {
    return fromBytes<int8_t>(bytes);
}
inline std::optional<uint16_t> toUInt16(std::span<const uint8_t> bytes,
                                        NumberEndianness from = NumberEndianness::platformDefault) {
    return fromBytes<uint16_t>(bytes, from);
}
inline std::optional<uint32_t> toUInt32(std::span<const uint8_t> bytes,
                                        NumberEndianness from = NumberEndianness::platformDefault) {
    return fromBytes<uint32_t>(bytes, from);
}
inline std::optional<uint64_t> toUInt64(std::span<const uint8_t> bytes,
                                        NumberEndianness from = NumberEndianness::platformDefault) {
    return fromBytes<uint64_t>(bytes, from);
}
// IEEE 754 single and double precision from their bit patterns.
inline std::optional<float> toFloat32(std::span<const uint8_t> bytes,
                                      NumberEndianness from = NumberEndianness::platformDefault) {
    return fromBytes<float>(bytes, from);
}
inline std::optional<double> toDouble(std::span<const uint8_t> bytes,
                                      NumberEndianness from = NumberEndianness::platformDefault) {
    return fromBytes<double>(bytes, from);
}

// The sizeof(T) bytes of `value` in `order`.
template <detail::ByteConvertible T>
std::vector<uint8_t> toData(T value, NumberEndianness order = NumberEndianness::platformDefault) {
    std::vector<uint8_t> bytes(sizeof(T));
    std::memcpy(bytes.data(), &value, sizeof(T));
    if (detail::reversed(order)) std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

// A byte buffer with the same bytes as `bytes`.
template <std::ranges::input_range R>
requires std::convertible_to<std::ranges::range_value_t<R>, uint8_t> std::vector<uint8_t> toData(
    const R& bytes) {
    return std::vector<uint8_t>(std::ranges::begin(bytes), std::ranges::end(bytes));
}

}  // namespace midisupport
