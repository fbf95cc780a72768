#include "zip/compression.hpp"

#include "compression_detail.hpp"

#include <zlib.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>

namespace zip {
namespace {

// zlib counts in 32-bit units; pieces are kept well below that.
constexpr size_t kMaxPiece = size_t{1} << 26;
// Inflating into a larger buffer than the pieces handed on saves zlib most of its window copies
// and per-call overhead; the output is still delivered in pieces of at most the buffer size.
constexpr size_t kMinInflateOutput = 256 * 1024;

size_t pieceSize(int64_t size, int64_t position, size_t bufferSize) {
    if (position >= size) return 0;
    return static_cast<size_t>(
        std::min<uint64_t>(static_cast<uint64_t>(size - position), bufferSize));
}

// A buffer that is not filled when it is made: every byte is written before it is read.
class RawBuffer {
  public:
    uint8_t* get(size_t size) {
        if (size > capacity_) {
            bytes_.reset(new uint8_t[size]);
            capacity_ = size;
        }
        return bytes_.get();
    }

  private:
    std::unique_ptr<uint8_t[]> bytes_;
    size_t capacity_ = 0;
};

class ZStream {
  public:
    explicit ZStream(StreamOperation operation) : operation_(operation) {
        int status = operation == StreamOperation::encode
                         ? deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8,
                                        Z_DEFAULT_STRATEGY)
                         : inflateInit2(&stream_, -15);
        if (status != Z_OK) throw CompressionError(CompressionError::Case::invalidStream);
    }
    ~ZStream() {
        if (operation_ == StreamOperation::encode) {
            deflateEnd(&stream_);
        } else {
            inflateEnd(&stream_);
        }
    }
    ZStream(const ZStream&) = delete;
    ZStream& operator=(const ZStream&) = delete;
    z_stream* operator->() { return &stream_; }
    z_stream* get() { return &stream_; }

  private:
    StreamOperation operation_;
    z_stream stream_{};
};

}  // namespace

std::optional<CompressionMethod> compressionMethod(uint16_t rawValue) {
    if (rawValue == 0) return CompressionMethod::none;
    if (rawValue == 8) return CompressionMethod::deflate;
    return std::nullopt;
}

#if defined(__x86_64__)
namespace {

__attribute__((target("pclmul,sse4.1"))) inline __m128i load(const uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// x folded over the distance of `k`, onto `next`.
__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i x, __m128i k, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// The CRC register (the value before the final inversion) after `length` bytes, a multiple of 16
// and at least 64: the data is folded 64 bytes at a time with carry-less multiplication, then to
// 128 bits, to 64, and reduced to 32 bits by Barrett reduction, for the reflected polynomial
// 0xEDB88320. The constants are x^(k) mod P for the folding distances, and P and floor(x^64 / P)
// for the reduction.
__attribute__((target("pclmul,sse4.1"))) uint32_t foldedCRC32(const uint8_t* data, size_t length,
                                                               uint32_t crc) {
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i polyMu = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    __m128i x1 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = load(data + 16);
    __m128i x3 = load(data + 32);
    __m128i x4 = load(data + 48);
    data += 64;
    length -= 64;
    while (length >= 64) {
        x1 = fold(x1, k1k2, load(data));
        x2 = fold(x2, k1k2, load(data + 16));
        x3 = fold(x3, k1k2, load(data + 32));
        x4 = fold(x4, k1k2, load(data + 48));
        data += 64;
        length -= 64;
    }
    x1 = fold(x1, k3k4, x2);
    x1 = fold(x1, k3k4, x3);
    x1 = fold(x1, k3k4, x4);
    while (length >= 16) {
        x1 = fold(x1, k3k4, load(data));
        data += 16;
        length -= 16;
    }
    // 128 bits to 64.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    __m128i x = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), k5, 0x00),
                      _mm_srli_si128(x, 4));
    // Barrett reduction to 32 bits.
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), polyMu, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), polyMu, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
}

bool canFoldCRC32() {
    static const bool supported =
        __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return supported;
}

}  // namespace
#endif

uint32_t crc32(ByteView bytes, uint32_t crc) {
    const uint8_t* p = bytes.data();
    size_t left = bytes.size();
#if defined(__x86_64__)
    // The same checksum as zlib's, several times faster: whole 16-byte blocks by folding, the
    // rest through zlib.
    if (left >= 64 && canFoldCRC32()) {
        const size_t blocks = left & ~size_t{15};
        crc = ~foldedCRC32(p, blocks, ~crc);
        p += blocks;
        left -= blocks;
    }
#endif
    // zlib takes 32-bit lengths; longer buffers are folded in parts.
    while (left > 0) {
        auto n = static_cast<uInt>(std::min<size_t>(left, UINT_MAX));
        crc = static_cast<uint32_t>(::crc32(crc, p, n));
        p += n;
        left -= n;
    }
    return crc;
}

uint32_t processStream(StreamOperation operation, int64_t size, size_t bufferSize, bool skipCRC32,
                       const DataProvider& provider, const DataConsumer& consumer) {
    return detail::processStream(operation, size, bufferSize, bufferSize, skipCRC32,
                                 detail::sourceOf(provider), consumer);
}

detail::InputSource detail::sourceOf(const DataProvider& provider) {
    return [&provider, held = std::make_shared<Bytes>(), position = int64_t{0}](
               size_t count) mutable -> ByteView {
        *held = provider(position, count);
        if (held->size() != count) {
            throw DataError(DataError::Case::unreadableFile,
                            "the source delivered " + std::to_string(held->size()) + " of " +
                                std::to_string(count) + " bytes");
        }
        position += static_cast<int64_t>(count);
        return *held;
    };
}

detail::InputSource detail::streamSource(FILE* file, const std::string& url) {
    return [file, &url, buffer = std::make_shared<RawBuffer>()](size_t count) -> ByteView {
        uint8_t* bytes = buffer->get(count);
        const size_t read = count == 0 ? 0 : std::fread(bytes, 1, count, file);
        if (std::ferror(file) != 0) throw DataError(DataError::Case::unreadableFile);
        if (read != count) {
            throw DataError(DataError::Case::unreadableFile,
                            "the archive ends inside an entry's data", url);
        }
        return ByteView(bytes, count);
    };
}

uint32_t detail::processStream(StreamOperation operation, int64_t size, size_t bufferSize,
                               size_t inputPieceSize, bool skipCRC32, const InputSource& source,
                               const DataConsumer& consumer, uint64_t expectedOutput) {
    bufferSize = std::clamp<size_t>(bufferSize, 1, kMaxPiece);
    inputPieceSize = std::clamp<size_t>(inputPieceSize, 1, kMaxPiece);
    const bool encode = operation == StreamOperation::encode;
    ZStream stream(operation);
    // Room for the whole output of a small stream and one byte more, so that its pieces come
    // out as a larger buffer would give them.
    size_t outputSize = encode ? bufferSize : std::max(bufferSize, kMinInflateOutput);
    if (!encode && expectedOutput != 0 && expectedOutput < outputSize)
        outputSize = std::max(bufferSize, static_cast<size_t>(expectedOutput) + 1);
    RawBuffer outputBuffer;
    uint8_t* const output = outputBuffer.get(outputSize);
    int64_t position = 0;
    uint32_t crc = 0;
    bool finalInput = false;
    for (;;) {
        if (stream->avail_in == 0) {
            const size_t count = pieceSize(size, position, inputPieceSize);
            const ByteView input = source(count);
            position += static_cast<int64_t>(count);
            finalInput = position >= size && count < inputPieceSize;
            // zlib reads its input through a pointer to non-const bytes and never writes it.
            stream->next_in = const_cast<uint8_t*>(input.data());
            stream->avail_in = static_cast<uInt>(input.size());
            if (encode && !skipCRC32) crc = crc32(input, crc);
        }
        stream->next_out = output;
        stream->avail_out = static_cast<uInt>(outputSize);
        const int status = encode ? ::deflate(stream.get(), finalInput ? Z_FINISH : Z_NO_FLUSH)
                                  : ::inflate(stream.get(), Z_NO_FLUSH);
        const size_t produced = outputSize - stream->avail_out;
        if (status == Z_BUF_ERROR) {
            // No progress was possible: more input is needed. At the end of the input the
            // stream is incomplete.
            if (stream->avail_in != 0 || position >= size) {
                throw CompressionError(CompressionError::Case::corruptedData,
                                       "the compressed stream ends before its last block");
            }
        } else if (status != Z_OK && status != Z_STREAM_END) {
            throw CompressionError(CompressionError::Case::corruptedData,
                                   stream->msg != nullptr ? stream->msg : "");
        }
        if (produced == 0) consumer(ByteView());
        for (size_t at = 0; at < produced; at += bufferSize) {
            const ByteView piece(output + at, std::min(bufferSize, produced - at));
            consumer(piece);
            if (!encode && !skipCRC32) crc = crc32(piece, crc);
        }
        if (status == Z_STREAM_END) break;
    }
    return crc;
}

uint64_t maximumCompressedSize(CompressionMethod method, uint64_t size) {
    if (method == CompressionMethod::none) return size;
    // zlib's deflateBound for the default window and memory level: the size plus 5 bytes per
    // 16 KiB stored block and a few bytes of stream overhead, computed here in 64 bits so that it
    // cannot wrap whatever zlib's own integer width.
    const uint64_t blocks = size / 16383 + 1;
    const uint64_t overhead = (size >> 12) + (size >> 14) + (size >> 25) + 13 - 6 + 5 * blocks;
    return size > UINT64_MAX - overhead ? UINT64_MAX : size + overhead;
}

uint32_t deflate(int64_t size, size_t bufferSize, const DataProvider& provider,
                 const DataConsumer& consumer) {
    return processStream(StreamOperation::encode, size, bufferSize, false, provider, consumer);
}

uint32_t inflate(int64_t size, size_t bufferSize, bool skipCRC32, const DataProvider& provider,
                 const DataConsumer& consumer) {
    return processStream(StreamOperation::decode, size, bufferSize, skipCRC32, provider, consumer);
}

uint32_t passThrough(int64_t size, size_t chunkSize, bool skipCRC32, const DataProvider& provider,
                     const DataConsumer& consumer) {
    return detail::passThrough(size, chunkSize, skipCRC32, detail::sourceOf(provider), consumer);
}

uint32_t detail::passThrough(int64_t size, size_t chunkSize, bool skipCRC32,
                             const InputSource& source, const DataConsumer& consumer) {
    if (size < 1) {
        consumer(ByteView());
        return 0;
    }
    chunkSize = std::clamp<size_t>(chunkSize, 1, kMaxPiece);
    uint32_t crc = 0;
    int64_t position = 0;
    while (position < size) {
        const size_t count = pieceSize(size, position, chunkSize);
        const ByteView piece = source(count);
        consumer(piece);
        if (!skipCRC32) crc = crc32(piece, crc);
        position += static_cast<int64_t>(count);
    }
    return crc;
}

Bytes readChunk(size_t count, FILE* file) {
    Bytes bytes(count);
    const size_t read = count == 0 ? 0 : std::fread(bytes.data(), 1, count, file);
    if (std::ferror(file) != 0) throw DataError(DataError::Case::unreadableFile);
    bytes.resize(read);
    return bytes;
}

size_t writeChunk(ByteView bytes, FILE* file) {
    if (bytes.empty()) return 0;
    const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
    if (std::ferror(file) != 0) throw DataError(DataError::Case::unwritableFile);
    return written;
}

size_t writeChunkInPieces(ByteView bytes, size_t size, size_t bufferSize, FILE* file) {
    size = std::min(size, bytes.size());
    if (size == 0) return 0;
    bufferSize = std::max<size_t>(bufferSize, 1);
    for (size_t written = 0; written < size;) {
        const size_t n = std::min(size - written, bufferSize);
        std::fwrite(bytes.data() + written, 1, n, file);
        written += n;
    }
    if (std::ferror(file) != 0) throw DataError(DataError::Case::unwritableFile);
    return size;
}

}  // namespace zip
