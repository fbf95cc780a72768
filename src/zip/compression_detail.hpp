// The stream loop with its input pieces sized apart from its output pieces.
#pragma once

#include "zip/compression.hpp"

namespace zip::detail {

// processStream() asking the provider for input pieces of up to `inputPieceSize` bytes while the
// consumer still gets pieces of at most `bufferSize`. Larger input pieces let each inflate call
// fill its whole output buffer, which saves zlib most of its window copies.
uint32_t processStream(StreamOperation operation, int64_t size, size_t bufferSize,
                       size_t inputPieceSize, bool skipCRC32, const DataProvider& provider,
                       const DataConsumer& consumer);

}  // namespace zip::detail
