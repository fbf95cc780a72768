// A sequential reader over a byte buffer: reads move a read offset from the front to the back, and
// a read that cannot be served throws and leaves the offset where it was.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

namespace midisupport {

class PassiveDataReader {
  public:
    class ReadError : public std::runtime_error {
      public:
        enum class Case {
            pastEndOfStream,   // the read reaches outside the buffer (past its end, or before
                               // its start when the offset was moved below 0)
            invalidByteCount,  // a negative byte count was asked for
        };
        ReadError(Case c, const std::string& message) : std::runtime_error(message), case_(c) {}
        Case errorCase() const { return case_; }

      private:
        Case case_;
    };

    // What a non-advancing read covers: the bytes, and how far the advancing read would move.
    struct Read {
        std::span<const uint8_t> data;
        int64_t advanceCount;
    };

    // A reader at offset 0 over `buffer`, which it reads but does not own: the buffer must outlive
    // the reader and every span a read returns.
    explicit PassiveDataReader(std::span<const uint8_t> buffer) : buffer_(buffer) {}

    // Bytes consumed from the start of the buffer.
    int64_t readOffset() const { return readOffset_; }
    // The buffer's size minus the read offset; negative once the offset passed the end.
    int64_t remainingByteCount() const {
        int64_t remaining = 0;
        // Only an offset far below 0 overflows the difference; it saturates, as reads there fail.
        if (__builtin_sub_overflow(static_cast<int64_t>(buffer_.size()), readOffset_, &remaining)) {
            return std::numeric_limits<int64_t>::max();
        }
        return remaining;
    }

    // Back to offset 0.
    void reset() { readOffset_ = 0; }
    // Moves the offset by `count` without a bounds check: it may pass the end (later reads throw
    // pastEndOfStream) or, with a negative count, go back, also below 0 (reads there throw
    // pastEndOfStream too). An offset that would leave the 64-bit range throws pastEndOfStream and
    // stays where it was.
    void advanceBy(int64_t count);

    // The byte at the read offset, then offset + 1. Throws pastEndOfStream when no byte is there.
    uint8_t readByte() {
        const uint8_t byte = nonAdvancingReadByte();
        ++readOffset_;
        return byte;
    }
    // The same byte, offset unchanged.
    uint8_t nonAdvancingReadByte() const {
        if (readOffset_ < 0 || static_cast<uint64_t>(readOffset_) >= buffer_.size()) {
            throwPastEndOfByte();
        }
        return buffer_[static_cast<size_t>(readOffset_)];
    }

    // The next `bytes` bytes (all that remain when absent), then the offset moves past them. A
    // count of 0 gives no bytes and never throws; a negative count throws invalidByteCount; a
    // count beyond what remains, or no count when nothing remains, throws pastEndOfStream.
    std::span<const uint8_t> read(std::optional<int64_t> bytes = std::nullopt);
    // The same bytes and errors, offset unchanged.
    Read nonAdvancingRead(std::optional<int64_t> bytes = std::nullopt) const;

  private:
    [[noreturn]] void throwPastEndOfByte() const;

    std::span<const uint8_t> buffer_;
    int64_t readOffset_ = 0;
};

// Runs `body` with a reader at offset 0 over `buffer` and returns what it returns; an exception
// from `body` passes through unchanged. The reader and the spans it returns read `buffer` itself,
// not a copy, and are valid as long as `buffer` is.
template <class Body>
auto withDataReader(std::span<const uint8_t> buffer, Body&& body)
    -> std::invoke_result_t<Body, PassiveDataReader&> {
    PassiveDataReader reader(buffer);
    return std::forward<Body>(body)(reader);
}

}  // namespace midisupport
