// Arbitrary bytes through the inflate loop at a small and a normal buffer size: it must end, with
// output or with a typed error, and never read or write out of bounds.
#include <cstddef>
#include <cstdint>

#include "zip/compression.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zip;
    const ByteView input(data, size);
    auto provider = [input](int64_t position, size_t count) {
        auto begin = input.begin() + position;
        return Bytes(begin, begin + static_cast<std::ptrdiff_t>(count));
    };
    for (size_t bufferSize : {size_t{7}, size_t{16384}}) {
        size_t total = 0;
        try {
            inflate(static_cast<int64_t>(size), bufferSize, false, provider, [&](ByteView piece) {
                total += piece.size();
                // Deflate expands at most ~1032:1; stop long outputs early to keep runs fast.
                if (total > (size_t{1} << 22)) throw DataError(DataError::Case::unwritableFile);
            });
        } catch (const Error&) {}
    }
    return 0;
}
