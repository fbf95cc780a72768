// The company names of the registered System Exclusive manufacturer IDs. The table is generated
// at build time from data/midi-manufacturer-ids.tsv (the published list: ID bytes in hex, a tab,
// the name) and is constant data: looking a name up needs no initialisation and is safe from any
// thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace midicore::events {

struct SysExManufacturerNameRow {
    std::array<uint8_t, 3> bytes;  // the key's bytes; the unused ones are 0
    uint8_t length;                // 1 for a one-byte ID, 3 for 0x00, b2, b3
    std::string_view name;

    // The ID's 7-bit byte form.
    constexpr std::span<const uint8_t> key() const { return {bytes.data(), length}; }
};

// Every row of the list, ordered by key length, then by the key's bytes; no key appears twice.
std::span<const SysExManufacturerNameRow> sysExManufacturerNames();

// The name whose key equals `key` (same length, same bytes), none when the list has no such key.
std::optional<std::string_view> sysExManufacturerName(std::span<const uint8_t> key);

}  // namespace midicore::events
