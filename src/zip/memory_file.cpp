#include "zip/memory_file.hpp"

#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>

namespace zip {
namespace {

// The cookie of a stream: the stream's own hold on the buffer.
using Cookie = std::shared_ptr<MemoryFile>;

ssize_t readCallback(void* cookie, char* buffer, size_t count) {
    if (cookie == nullptr || buffer == nullptr) return 0;
    return static_cast<ssize_t>(
        (*static_cast<Cookie*>(cookie))->readData(reinterpret_cast<uint8_t*>(buffer), count));
}

ssize_t writeCallback(void* cookie, const char* buffer, size_t count) {
    if (cookie == nullptr || buffer == nullptr) return 0;
    try {
        return static_cast<ssize_t>(
            (*static_cast<Cookie*>(cookie))
                ->writeData(reinterpret_cast<const uint8_t*>(buffer), count));
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return -1;
    } catch (const std::length_error&) {
        errno = EFBIG;
        return -1;
    }
}

int seekCallback(void* cookie, off64_t* offset, int whence) {
    if (cookie == nullptr) return 0;
    const int64_t position = (*static_cast<Cookie*>(cookie))->seek(*offset, whence);
    if (position < 0) {
        errno = EINVAL;
        return -1;
    }
    *offset = position;
    return 0;
}

int closeCallback(void* cookie) {
    delete static_cast<Cookie*>(cookie);
    return 0;
}

}  // namespace

std::shared_ptr<MemoryFile> MemoryFile::make(Bytes data) {
    return std::shared_ptr<MemoryFile>(new MemoryFile(std::move(data)));
}

FILE* MemoryFile::open(const char* mode) {
    std::string_view m = mode != nullptr ? mode : "";
    const bool writable = !m.empty() && (m.front() != 'r' || m.back() == '+');
    const bool append = !m.empty() && m.front() == 'a';
    cookie_io_functions_t functions{};
    functions.read = readCallback;
    functions.write = writable ? writeCallback : nullptr;
    functions.seek = seekCallback;
    functions.close = closeCallback;
    // glibc would truncate nothing here anyway, but it needs a mode it knows: the stream's
    // readability and writability are what matter.
    auto* cookie = new Cookie(shared_from_this());
    offset_ = 0;  // a new stream starts at the beginning, as its stdio layer assumes
    FILE* stream = fopencookie(cookie, writable ? "r+" : "r", functions);
    if (stream == nullptr) {
        delete cookie;
        return nullptr;
    }
    if (append) fseeko(stream, 0, SEEK_END);
    return stream;
}

size_t MemoryFile::readData(uint8_t* buffer, size_t count) {
    // A position past the end (after a seek there) reads as the end of the file.
    if (offset_ < 0 || static_cast<uint64_t>(offset_) >= data_.size()) return 0;
    const size_t remaining = data_.size() - static_cast<size_t>(offset_);
    const size_t n = std::min(remaining, count);
    std::memcpy(buffer, data_.data() + offset_, n);
    offset_ += static_cast<int64_t>(n);
    return n;
}

size_t MemoryFile::writeData(const uint8_t* buffer, size_t count) {
    const size_t size = data_.size();
    const auto p = static_cast<uint64_t>(offset_);
    if (p > std::numeric_limits<size_t>::max() - count)
        throw std::length_error("position too large");
    if (p < size && p + count > size) data_.resize(static_cast<size_t>(p));
    if (p > size) data_.resize(static_cast<size_t>(p), 0);
    if (p == data_.size()) {
        data_.insert(data_.end(), buffer, buffer + count);
    } else {
        std::memcpy(data_.data() + p, buffer, count);
    }
    offset_ += static_cast<int64_t>(count);
    return count;
}

int64_t MemoryFile::seek(int64_t offset, int whence) {
    int64_t base;
    switch (whence) {
        case SEEK_SET:
            base = 0;
            break;
        case SEEK_CUR:
            base = offset_;
            break;
        case SEEK_END:
            base = static_cast<int64_t>(data_.size());
            break;
        default:
            return -1;
    }
    int64_t position;
    if (__builtin_add_overflow(base, offset, &position) || position < 0) return -1;
    offset_ = position;
    return position;
}

}  // namespace zip
