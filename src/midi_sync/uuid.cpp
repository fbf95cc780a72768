#include "uuid.hpp"

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <random>

namespace midisync::detail {

std::string newUUIDString() {
    static std::mutex mutex;
    static std::mt19937_64 engine{std::random_device{}()};
    uint64_t hi = 0, lo = 0;
    {
        std::lock_guard lock(mutex);
        hi = engine();
        lo = engine();
    }
    hi = (hi & ~0xF000ULL) | 0x4000ULL;                              // version 4
    lo = (lo & 0x3FFFFFFFFFFFFFFFULL) | 0x8000000000000000ULL;       // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(hi >> 32),
                  static_cast<unsigned>((hi >> 16) & 0xFFFF), static_cast<unsigned>(hi & 0xFFFF),
                  static_cast<unsigned>(lo >> 48), static_cast<unsigned long long>(lo & 0xFFFFFFFFFFFFULL));
    return text;
}

}  // namespace midisync::detail
