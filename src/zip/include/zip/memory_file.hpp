// A growable byte buffer used through a seekable stdio stream, so that an archive held in memory
// is read and written with the same stream operations as a file. The stream keeps the buffer
// alive until it is closed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "zip/records.hpp"

namespace zip {

class MemoryFile : public std::enable_shared_from_this<MemoryFile> {
  public:
    static std::shared_ptr<MemoryFile> make(Bytes data = {});

    // A stream over the buffer. Writable unless the mode starts with "r" without ending in "+";
    // a mode starting with "a" positions the stream at the end. Nothing when no stream can be
    // made. Existing bytes are never truncated, whatever the mode. One stream at a time: the
    // position is the buffer's own.
    FILE* open(const char* mode);

    const Bytes& data() const { return data_; }
    Bytes& data() { return data_; }
    int64_t offset() const { return offset_; }
    void setOffset(int64_t offset) { offset_ = offset; }

    // The stream operations: bytes delivered, bytes taken, new position (-1 when refused).
    size_t readData(uint8_t* buffer, size_t count);
    size_t writeData(const uint8_t* buffer, size_t count);
    int64_t seek(int64_t offset, int whence);

  private:
    explicit MemoryFile(Bytes data) : data_(std::move(data)) {}
    Bytes data_;
    int64_t offset_ = 0;
};

}  // namespace zip
