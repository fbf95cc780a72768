// Byte-level services under every archive operation: the compression methods, the streaming raw
// DEFLATE loop between a supplier and a receiver of bytes, the pass-through loop for stored data,
// CRC-32, and reading and writing pieces on a stdio stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>

#include "zip/error.hpp"
#include "zip/records.hpp"

namespace zip {

enum class CompressionMethod : uint16_t { none = 0, deflate = 8 };
std::optional<CompressionMethod> compressionMethod(uint16_t rawValue);

// Supplies `count` bytes of a source starting at `position` (as counted by the calling loop). A
// loop that receives fewer bytes than it asked for fails with DataError::unreadableFile.
using DataProvider = std::function<Bytes(int64_t position, size_t count)>;
// Receives one piece of bytes; the view is valid only during the call. May throw.
using DataConsumer = std::function<void(ByteView piece)>;

// The default piece size for reading and writing entry data.
constexpr size_t defaultChunkSize = 16384;

enum class StreamOperation { encode, decode };

// Raw DEFLATE (no zlib or gzip wrapper) of `size` input bytes taken from `provider` in pieces of
// at most `bufferSize`; compressed pieces of at most `bufferSize` go to `consumer`. Returns the
// CRC-32 of the input.
uint32_t deflate(int64_t size, size_t bufferSize, const DataProvider& provider,
                 const DataConsumer& consumer);
// Inflates `size` bytes of raw DEFLATE input; returns the CRC-32 of the output (0 when skipped).
// Truncated, corrupt or empty input fails with CompressionError::corruptedData. Input past the end
// of the deflate stream is not looked at.
uint32_t inflate(int64_t size, size_t bufferSize, bool skipCRC32, const DataProvider& provider,
                 const DataConsumer& consumer);
uint32_t processStream(StreamOperation operation, int64_t size, size_t bufferSize, bool skipCRC32,
                       const DataProvider& provider, const DataConsumer& consumer);
// The most bytes `size` input bytes can take in an entry stored with `method`: the size itself
// when stored, zlib's bound for raw DEFLATE at our settings when deflated (saturating).
uint64_t maximumCompressedSize(CompressionMethod method, uint64_t size);
// Moves `size` bytes from provider to consumer in pieces of at most `chunkSize`; a size below 1
// hands one empty piece to the consumer. Returns the CRC-32 (0 when skipped or empty).
uint32_t passThrough(int64_t size, size_t chunkSize, bool skipCRC32, const DataProvider& provider,
                     const DataConsumer& consumer);

// The running CRC-32 (ISO 3309) of `bytes` continued from `crc`; 0 starts a new checksum.
uint32_t crc32(ByteView bytes, uint32_t crc = 0);

// Reads up to `count` bytes at the stream's position: fewer at the end of the file. A read error
// fails with DataError::unreadableFile.
Bytes readChunk(size_t count, FILE* file);
// Writes the bytes at the stream's position; returns the count written. A write error fails with
// DataError::unwritableFile.
size_t writeChunk(ByteView bytes, FILE* file);
// Writes the first `size` bytes of `bytes` in writes of at most `bufferSize`.
size_t writeChunkInPieces(ByteView bytes, size_t size, size_t bufferSize, FILE* file);

}  // namespace zip
