// The 128-bit integers of exact intermediate arithmetic (frame counts, fractions).
#pragma once

#include <cstdint>
#include <limits>

namespace timecode::detail {

__extension__ typedef __int128 Int128;

inline bool fitsInt64(Int128 v) {
    return v >= std::numeric_limits<int64_t>::min() && v <= std::numeric_limits<int64_t>::max();
}

}  // namespace timecode::detail
