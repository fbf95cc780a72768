#include "bytes.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace movie::detail {

void FieldReader::need(std::size_t count) const {
    if (count > remaining()) {
        fail("is truncated");
    }
}

void FieldReader::fail(const std::string& problem) const {
    malformed("The " + what_ + " " + problem + ".");
}

uint8_t FieldReader::u8() {
    need(1);
    return bytes_[position_++];
}

uint16_t FieldReader::u16() {
    need(2);
    uint16_t value = static_cast<uint16_t>((bytes_[position_] << 8) | bytes_[position_ + 1]);
    position_ += 2;
    return value;
}

uint32_t FieldReader::u32() {
    need(4);
    uint32_t value = getU32(bytes_.data() + position_);
    position_ += 4;
    return value;
}

uint64_t FieldReader::u64() {
    uint64_t high = u32();
    return (high << 32) | u32();
}

void FieldReader::skip(std::size_t count) {
    need(count);
    position_ += count;
}

std::span<const uint8_t> FieldReader::take(std::size_t count) {
    need(count);
    auto part = bytes_.subspan(position_, count);
    position_ += count;
    return part;
}

void FieldReader::requireEntries(uint64_t count, std::size_t entrySize) const {
    if (count > remaining() / entrySize) {
        fail("declares " + std::to_string(count) + " entries but holds room for " +
             std::to_string(remaining() / entrySize));
    }
}

uint32_t FieldReader::entryCount(std::size_t entrySize) {
    uint32_t count = u32();
    requireEntries(count, entrySize);
    return count;
}

void putU8(std::vector<uint8_t>& out, uint8_t value) { out.push_back(value); }

void putU16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void putU32(std::vector<uint8_t>& out, uint32_t value) {
    putU16(out, static_cast<uint16_t>(value >> 16));
    putU16(out, static_cast<uint16_t>(value));
}

void putU64(std::vector<uint8_t>& out, uint64_t value) {
    putU32(out, static_cast<uint32_t>(value >> 32));
    putU32(out, static_cast<uint32_t>(value));
}

void putZeros(std::vector<uint8_t>& out, std::size_t count) { out.insert(out.end(), count, 0); }

uint32_t getU32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

void setU32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

void malformed(const std::string& message) { throw MovieError(MovieError::Case::malformed, message); }

std::vector<uint8_t> ByteSource::readVector(uint64_t offset, std::size_t count) const {
    std::vector<uint8_t> bytes(count);
    read(offset, bytes.data(), count);
    return bytes;
}

namespace {

void requireRange(uint64_t offset, std::size_t count, uint64_t size) {
    if (offset > size || count > size - offset) {
        malformed("A read of " + std::to_string(count) + " bytes at offset " + std::to_string(offset) +
                  " runs past the end of the movie (" + std::to_string(size) + " bytes).");
    }
}

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    uint64_t size() const override { return bytes_.size(); }
    void read(uint64_t offset, uint8_t* destination, std::size_t count) const override {
        requireRange(offset, count, bytes_.size());
        if (count > 0) {
            std::memcpy(destination, bytes_.data() + offset, count);
        }
    }

private:
    std::vector<uint8_t> bytes_;
};

class FileSource final : public ByteSource {
public:
    explicit FileSource(const std::filesystem::path& path) : path_(path.string()) {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            fail("open");
        }
        struct stat status {};
        if (::fstat(fd_, &status) != 0) {
            int error = errno;
            ::close(fd_);
            errno = error;
            fail("inspect");
        }
        if (!S_ISREG(status.st_mode)) {
            ::close(fd_);
            throw MovieError(MovieError::Case::io, "The movie " + path_ + " is not a regular file.");
        }
        size_ = static_cast<uint64_t>(status.st_size);
    }
    ~FileSource() override { ::close(fd_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    uint64_t size() const override { return size_; }
    void read(uint64_t offset, uint8_t* destination, std::size_t count) const override {
        requireRange(offset, count, size_);
        while (count > 0) {
            ssize_t got = ::pread(fd_, destination, count, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                if (got == 0) {
                    throw MovieError(MovieError::Case::io, "The movie " + path_ + " became shorter while it was read.");
                }
                fail("read");
            }
            destination += got;
            offset += static_cast<uint64_t>(got);
            count -= static_cast<std::size_t>(got);
        }
    }

private:
    [[noreturn]] void fail(const char* action) const {
        throw MovieError(MovieError::Case::io,
                         std::string("Could not ") + action + " the movie " + path_ + ": " + std::strerror(errno) + ".");
    }

    std::string path_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

}  // namespace

std::shared_ptr<const ByteSource> memorySource(std::vector<uint8_t> bytes) {
    return std::make_shared<MemorySource>(std::move(bytes));
}

std::shared_ptr<const ByteSource> fileSource(const std::filesystem::path& path) {
    return std::make_shared<FileSource>(path);
}

}  // namespace movie::detail
