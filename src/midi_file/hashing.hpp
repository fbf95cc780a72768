// Combining the hashes of a record's fields, in field order.
#pragma once

#include <cstddef>
#include <functional>

namespace midifile::detail {

class Hasher {
  public:
    template <class T>
    Hasher& combine(const T& value) {
        seed_ ^= std::hash<T>{}(value) + 0x9E3779B97F4A7C15ull + (seed_ << 6) + (seed_ >> 2);
        return *this;
    }
    size_t value() const { return seed_; }

  private:
    size_t seed_ = 0;
};

}  // namespace midifile::detail
