// Appends little-endian integers and byte runs to a buffer.
#pragma once

#include <cstdint>

#include "zip/records.hpp"

namespace zip::detail {

class ByteWriter {
  public:
    explicit ByteWriter(size_t reserve = 0) { bytes_.reserve(reserve); }
    template <class T>
    ByteWriter& put(T value) {
        for (size_t i = 0; i < sizeof(T); ++i)
            bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
        return *this;
    }
    ByteWriter& append(ByteView bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Bytes take() { return std::move(bytes_); }

  private:
    Bytes bytes_;
};

}  // namespace zip::detail
