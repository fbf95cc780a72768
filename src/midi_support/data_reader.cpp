#include "midi_support/data_reader.hpp"

namespace midisupport {

namespace {

using ReadError = PassiveDataReader::ReadError;

// `count` absent: a read of all that remains.
ReadError pastEnd(std::optional<int64_t> count, int64_t offset, size_t size) {
    const std::string what = !count        ? "the remaining bytes"
                             : *count == 1 ? "1 byte"
                                           : std::to_string(*count) + " bytes";
    return ReadError(ReadError::Case::pastEndOfStream,
                     "Cannot read " + what + " at offset " + std::to_string(offset) + " of " +
                         std::to_string(size) + " bytes of data.");
}

}  // namespace

void PassiveDataReader::advanceBy(int64_t count) {
    int64_t moved = 0;
    if (__builtin_add_overflow(readOffset_, count, &moved)) {
        throw ReadError(ReadError::Case::pastEndOfStream,
                        "Cannot move the read offset " + std::to_string(readOffset_) + " by " +
                            std::to_string(count) + " bytes: the offset would overflow.");
    }
    readOffset_ = moved;
}

void PassiveDataReader::throwPastEndOfByte() const {
    throw pastEnd(1, readOffset_, buffer_.size());
}

PassiveDataReader::Read PassiveDataReader::nonAdvancingRead(std::optional<int64_t> bytes) const {
    if (bytes && *bytes == 0) return {buffer_.subspan(0, 0), 0};
    if (bytes && *bytes < 0) {
        throw ReadError(ReadError::Case::invalidByteCount,
                        "Cannot read a negative number of bytes (" + std::to_string(*bytes) + ").");
    }
    const int64_t remaining = remainingByteCount();
    const int64_t count = bytes.value_or(remaining);
    // Nothing left to read in full (count <= 0 only when no count was given), a count beyond the
    // end, or an offset before the start.
    if (count <= 0 || remaining < count || readOffset_ < 0) {
        throw pastEnd(bytes, readOffset_, buffer_.size());
    }
    return {buffer_.subspan(static_cast<size_t>(readOffset_), static_cast<size_t>(count)), count};
}

std::span<const uint8_t> PassiveDataReader::read(std::optional<int64_t> bytes) {
    const Read result = nonAdvancingRead(bytes);
    readOffset_ += result.advanceCount;
    return result.data;
}

}  // namespace midisupport
