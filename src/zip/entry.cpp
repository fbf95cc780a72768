#include "zip/entry.hpp"

#include <sys/stat.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <limits>

namespace zip {
namespace {

uint64_t saturatingAdd(uint64_t a, uint64_t b) {
    return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max()
                                                        : a + b;
}

bool endsWithSlash(const std::string& path) {
    return !path.empty() && path.back() == '/';
}

// Canonical equivalence: both texts in normalisation form C compare equal.
bool canonicallyEqual(const std::string& a, const std::string& b) {
    if (a == b) return true;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return false;
    icu::UnicodeString ua = nfc->normalize(icu::UnicodeString::fromUTF8(a), status);
    icu::UnicodeString ub = nfc->normalize(icu::UnicodeString::fromUTF8(b), status);
    return U_SUCCESS(status) && ua == ub;
}

}  // namespace

std::optional<Entry::EntryType> Entry::entryType(int rawValue) {
    if (rawValue < 0 || rawValue > 2) return std::nullopt;
    return static_cast<EntryType>(rawValue);
}

std::optional<Entry> Entry::make(CentralDirectoryStructure centralDirectoryStructure,
                                 LocalFileHeader localFileHeader,
                                 std::optional<DataDescriptor<uint32_t>> dataDescriptor,
                                 std::optional<DataDescriptor<uint64_t>> zip64DataDescriptor) {
    if (centralDirectoryStructure.isEncrypted()) return std::nullopt;
    Entry entry;
    entry.central_ = std::move(centralDirectoryStructure);
    entry.local_ = std::move(localFileHeader);
    entry.descriptor_ = std::move(dataDescriptor);
    entry.zip64Descriptor_ = std::move(zip64DataDescriptor);
    return entry;
}

std::string Entry::path() const {
    return path(central_.usesUTF8PathEncoding() ? TextEncoding::utf8 : TextEncoding::cp437);
}

std::string Entry::path(TextEncoding encoding) const {
    return decodeText(central_.fileNameData, encoding).value_or(std::string());
}

Entry::EntryType Entry::type() const {
    const unsigned host = central_.versionMadeBy >> 8;
    const uint32_t attributes = central_.externalFileAttributes;
    const bool slash = endsWithSlash(path());
    if (host == 0) {
        return slash || (attributes & ~uint32_t{0xF}) == 0x10 ? EntryType::directory
                                                              : EntryType::file;
    }
    if (host == 3 || host == 19) {
        switch ((attributes >> 16) & S_IFMT) {
            case S_IFREG:
                return EntryType::file;
            case S_IFDIR:
                return EntryType::directory;
            case S_IFLNK:
                return EntryType::symlink;
            default:
                break;
        }
    }
    return slash ? EntryType::directory : EntryType::file;
}

uint32_t Entry::checksum() const {
    if (!central_.usesDataDescriptor()) return central_.crc32;
    if (zip64Descriptor_) return zip64Descriptor_->crc32;
    if (descriptor_) return descriptor_->crc32;
    return 0;
}

uint64_t Entry::compressedSize() const {
    if (central_.isZIP64()) {
        return zip64Descriptor_ ? zip64Descriptor_->compressedSize
                                : central_.effectiveCompressedSize();
    }
    return descriptor_ ? descriptor_->compressedSize : central_.compressedSize;
}

uint64_t Entry::uncompressedSize() const {
    if (central_.isZIP64()) {
        return zip64Descriptor_ ? zip64Descriptor_->uncompressedSize
                                : central_.effectiveUncompressedSize();
    }
    return descriptor_ ? descriptor_->uncompressedSize : central_.uncompressedSize;
}

uint64_t Entry::localSize() const {
    uint64_t size =
        LocalFileHeader::size + uint64_t{local_.fileNameLength} + local_.extraFieldLength;
    size = saturatingAdd(size, isCompressed() ? compressedSize() : uncompressedSize());
    if (central_.isZIP64()) {
        if (zip64Descriptor_) size = saturatingAdd(size, DataDescriptor<uint64_t>::size);
    } else if (descriptor_) {
        size = saturatingAdd(size, DataDescriptor<uint32_t>::size);
    }
    return size;
}

uint64_t Entry::dataOffset() const {
    return saturatingAdd(
        central_.effectiveRelativeOffsetOfLocalHeader(),
        LocalFileHeader::size + uint64_t{local_.fileNameLength} + local_.extraFieldLength);
}

bool Entry::operator==(const Entry& other) const {
    return local_.crc32 == other.local_.crc32 &&
           central_.effectiveRelativeOffsetOfLocalHeader() ==
               other.central_.effectiveRelativeOffsetOfLocalHeader() &&
           canonicallyEqual(path(), other.path());
}

}  // namespace zip
