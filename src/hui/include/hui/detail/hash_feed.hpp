// Hashing of HUI values: the values that define a value are fed into one hash in a fixed order.
#pragma once

#include <cstddef>

namespace hui::detail {

class HashFeed {
  public:
    void add(std::size_t value) {
        state_ ^= value + 0x9E3779B97F4A7C15ull + (state_ << 6) + (state_ >> 2);
    }
    std::size_t value() const { return state_; }

  private:
    std::size_t state_ = 0;
};

}  // namespace hui::detail
