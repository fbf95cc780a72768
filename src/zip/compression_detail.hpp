// The stream loops over an input source that lends its bytes, with the input pieces sized apart
// from the output pieces.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "zip/compression.hpp"

namespace zip::detail {

// Supplies the next `count` bytes of the input; the view stays valid until the next call. A
// source that cannot deliver them all throws.
using InputSource = std::function<ByteView(size_t count)>;

// A source over a provider, asked in order from position 0; fewer bytes than asked fail with
// DataError::unreadableFile.
InputSource sourceOf(const DataProvider& provider);
// A source reading on from the stream's position into one buffer of its own, reused from piece
// to piece and never filled before the read; fewer bytes than asked fail with
// DataError::unreadableFile ("the archive ends inside an entry's data", with `url`).
InputSource streamSource(FILE* file, const std::string& url);

// processStream() asking for input pieces of up to `inputPieceSize` bytes while the consumer
// still gets pieces of at most `bufferSize`. Larger input pieces let each inflate call fill its
// whole output buffer, which saves zlib most of its window copies. `expectedOutput`, when not 0,
// is what the stream should decode to: the output buffer is then no larger than it needs to be.
uint32_t processStream(StreamOperation operation, int64_t size, size_t bufferSize,
                       size_t inputPieceSize, bool skipCRC32, const InputSource& input,
                       const DataConsumer& consumer, uint64_t expectedOutput = 0);
// passThrough() over a source.
uint32_t passThrough(int64_t size, size_t chunkSize, bool skipCRC32, const InputSource& input,
                     const DataConsumer& consumer);

}  // namespace zip::detail
