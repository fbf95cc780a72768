// One member of an archive: the file, directory or symbolic link that a central directory record
// describes, with its local header and the data descriptor that may follow its data. The derived
// values (path, type, sizes, checksum) decide which of the redundant record values win.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "zip/error.hpp"
#include "zip/records.hpp"
#include "zip/text.hpp"

namespace zip {

class Entry {
  public:
    using LocalFileHeader = zip::LocalFileHeader;
    using CentralDirectoryStructure = zip::CentralDirectoryStructure;
    template <class SizeType>
    using DataDescriptor = zip::DataDescriptor<SizeType>;
    using ZIP64ExtendedInformation = zip::ZIP64ExtendedInformation;
    using EntryError = zip::EntryError;

    enum class EntryType { file = 0, directory = 1, symlink = 2 };
    static std::optional<EntryType> entryType(int rawValue);

    // Forms an entry from its records; nothing for an encrypted entry.
    static std::optional<Entry> make(CentralDirectoryStructure centralDirectoryStructure,
                                     LocalFileHeader localFileHeader,
                                     std::optional<DataDescriptor<uint32_t>> dataDescriptor,
                                     std::optional<DataDescriptor<uint64_t>> zip64DataDescriptor);

    const CentralDirectoryStructure& centralDirectoryStructure() const { return central_; }
    const LocalFileHeader& localFileHeader() const { return local_; }
    const std::optional<DataDescriptor<uint32_t>>& dataDescriptor() const { return descriptor_; }
    const std::optional<DataDescriptor<uint64_t>>& zip64DataDescriptor() const {
        return zip64Descriptor_;
    }

    // The central record's name, UTF-8 when flag bit 11 is set and code page 437 otherwise; the
    // empty string when it does not decode. Used exactly as decoded.
    std::string path() const;
    // The name decoded with the given encoding; empty when it does not decode.
    std::string path(TextEncoding encoding) const;
    EntryType type() const;
    bool isCompressed() const { return local_.compressionMethod != 0; }
    uint32_t checksum() const;
    uint64_t compressedSize() const;
    uint64_t uncompressedSize() const;
    // Bytes from the start of the local header to the end of the data and descriptor.
    uint64_t localSize() const;
    // Where the entry's data begins: local header offset + 30 + name and extra lengths.
    uint64_t dataOffset() const;

    // Same path (canonically equivalent text), same local CRC-32, same local header offset.
    bool operator==(const Entry& other) const;

  private:
    Entry() = default;
    CentralDirectoryStructure central_;
    LocalFileHeader local_;
    std::optional<DataDescriptor<uint32_t>> descriptor_;
    std::optional<DataDescriptor<uint64_t>> zip64Descriptor_;
};

}  // namespace zip
