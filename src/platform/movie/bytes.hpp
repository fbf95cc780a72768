// Big-endian reading and writing of the fields inside atoms, and the byte sources a movie reads
// its sample data from. Private to the movie layer.
#pragma once

#include "movie/atoms.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace movie::detail {

// Reads big-endian fields from a span; reading past its end throws MovieError (malformed) naming
// what was being read.
class FieldReader {
public:
    FieldReader(std::span<const uint8_t> bytes, std::string what) : bytes_(bytes), what_(std::move(what)) {}

    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    uint64_t u64();
    void skip(std::size_t count);
    std::span<const uint8_t> take(std::size_t count);

    std::size_t position() const { return position_; }
    std::size_t remaining() const { return bytes_.size() - position_; }

    // Throws unless `count` entries of `entrySize` bytes fit the rest of the span, so that a
    // declared count never drives an allocation larger than the bytes that back it.
    void requireEntries(uint64_t count, std::size_t entrySize) const;
    // Reads a 32-bit entry count and checks it as requireEntries does.
    uint32_t entryCount(std::size_t entrySize);

    [[noreturn]] void fail(const std::string& problem) const;

private:
    void need(std::size_t count) const;

    std::span<const uint8_t> bytes_;
    std::size_t position_ = 0;
    std::string what_;
};

void putU8(std::vector<uint8_t>& out, uint8_t value);
void putU16(std::vector<uint8_t>& out, uint16_t value);
void putU32(std::vector<uint8_t>& out, uint32_t value);
void putU64(std::vector<uint8_t>& out, uint64_t value);
void putZeros(std::vector<uint8_t>& out, std::size_t count);
uint32_t getU32(const uint8_t* p);
void setU32(uint8_t* p, uint32_t value);

[[noreturn]] void malformed(const std::string& message);

// Where a movie's bytes come from: memory or an open file.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Reads exactly `count` bytes at `offset`; throws MovieError (io or malformed) otherwise.
    virtual void read(uint64_t offset, uint8_t* destination, std::size_t count) const = 0;

    std::vector<uint8_t> readVector(uint64_t offset, std::size_t count) const;
};

std::shared_ptr<const ByteSource> memorySource(std::vector<uint8_t> bytes);
std::shared_ptr<const ByteSource> fileSource(const std::filesystem::path& path);

}  // namespace movie::detail
