// The on-disk records of a ZIP archive. Each record is a value: it is built from its raw bytes
// (`parse`, which yields nothing when the bytes are not acceptable) and gives its bytes back
// (`data`). Integers are unsigned little-endian. Records that carry extra fields keep the raw
// extra area untouched and, beside it, the parsed ZIP64 extended-information field when one was
// found; no other extra field is interpreted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace zip {

using Bytes = std::vector<uint8_t>;
using ByteView = std::span<const uint8_t>;

// Supplies the variable part of a record while it is parsed: `count` further bytes, or nothing
// when they cannot be had. A result of another length makes the record unacceptable.
using AdditionalDataProvider = std::function<std::optional<Bytes>(size_t count)>;

// Reads an unsigned little-endian integer of sizeof(T) bytes at `start`; bytes beyond the end of
// `data` read as zero, so an empty buffer yields 0.
template <class T>
T scanValue(ByteView data, size_t start) {
    T value = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
        if (start + i < data.size())
            value |= static_cast<T>(static_cast<T>(data[start + i]) << (8 * i));
    }
    return value;
}

// The ZIP64 extended-information extra field (header ID 0x0001).
struct ZIP64ExtendedInformation {
    // The optional values, in the order they are stored.
    enum class Field {
        uncompressedSize,
        compressedSize,
        relativeOffsetOfLocalHeader,
        diskNumberStart
    };
    static constexpr uint16_t zip64HeaderID = 0x0001;

    uint16_t headerID = zip64HeaderID;
    uint16_t dataSize = 0;  // bytes after the dataSize field
    uint64_t uncompressedSize = 0;
    uint64_t compressedSize = 0;
    uint64_t relativeOffsetOfLocalHeader = 0;
    uint32_t diskNumberStart = 0;

    // Parses one field, header included, expecting exactly the values listed in `fields`.
    static std::optional<ZIP64ExtendedInformation> parse(ByteView data,
                                                         std::span<const Field> fields);
    // Finds the ZIP64 block in an extra area and parses it with the expected `fields`.
    static std::optional<ZIP64ExtendedInformation> scanForZIP64Field(ByteView extraField,
                                                                     std::span<const Field> fields);
    // The field of a central record whose local header moved to `offset`: the sizes and disk
    // number of `old`, the offset only when it needs 64 bits. Nothing when `old` is absent or
    // when no value remains. `dataSize` counts exactly the bytes that `data()` writes.
    static std::optional<ZIP64ExtendedInformation> rebuilt(
        const std::optional<ZIP64ExtendedInformation>& old, uint64_t offset);

    // The field's bytes: header ID, dataSize as held, both sizes when either is non-zero, then the
    // offset and the disk number when non-zero.
    Bytes data() const;
    // The field's bytes holding exactly the listed values, with a matching dataSize.
    Bytes data(std::span<const Field> fields) const;

    bool operator==(const ZIP64ExtendedInformation&) const = default;
};

struct LocalFileHeader {
    static constexpr size_t size = 30;
    static constexpr uint32_t signature = 0x04034b50;

    uint32_t localFileHeaderSignature = signature;
    uint16_t versionNeededToExtract = 0;
    uint16_t generalPurposeBitFlag = 0;
    uint16_t compressionMethod = 0;
    uint16_t lastModFileTime = 0;
    uint16_t lastModFileDate = 0;
    uint32_t crc32 = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint16_t fileNameLength = 0;
    uint16_t extraFieldLength = 0;
    Bytes fileNameData;
    Bytes extraFieldData;
    // The ZIP64 field found in the extra area, if any (empty when none was found).
    std::vector<ZIP64ExtendedInformation> extraFields;

    static std::optional<LocalFileHeader> parse(ByteView data,
                                                const AdditionalDataProvider& provider);
    // The header of an entry this system writes: UTF-8 name flag, version 20, or 45 with a 20-byte
    // ZIP64 field holding both sizes when either size is 0xFFFFFFFF or more or when `forceZIP64`.
    static LocalFileHeader forNewEntry(Bytes fileName, uint16_t compressionMethod,
                                       uint64_t uncompressedSize, uint64_t compressedSize,
                                       uint32_t crc32, uint16_t lastModFileTime,
                                       uint16_t lastModFileDate, bool forceZIP64 = false);
    Bytes data() const;
    // The ZIP64 values this header's 32-bit fields defer to the ZIP64 field.
    std::vector<ZIP64ExtendedInformation::Field> validFields() const;

    bool operator==(const LocalFileHeader&) const = default;
};

struct CentralDirectoryStructure {
    static constexpr size_t size = 46;
    static constexpr uint32_t signature = 0x02014b50;

    uint32_t centralDirectorySignature = signature;
    uint16_t versionMadeBy = 0;
    uint16_t versionNeededToExtract = 0;
    uint16_t generalPurposeBitFlag = 0;
    uint16_t compressionMethod = 0;
    uint16_t lastModFileTime = 0;
    uint16_t lastModFileDate = 0;
    uint32_t crc32 = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint16_t fileNameLength = 0;
    uint16_t extraFieldLength = 0;
    uint16_t fileCommentLength = 0;
    uint16_t diskNumberStart = 0;
    uint16_t internalFileAttributes = 0;
    uint32_t externalFileAttributes = 0;
    uint32_t relativeOffsetOfLocalHeader = 0;
    Bytes fileNameData;
    Bytes extraFieldData;
    Bytes fileCommentData;
    std::vector<ZIP64ExtendedInformation> extraFields;

    static std::optional<CentralDirectoryStructure> parse(ByteView data,
                                                          const AdditionalDataProvider& provider);
    // The record of an entry this system wrote at `relativeOffset`: the ZIP64 field carries the
    // sizes when the local header defers them to its own ZIP64 field, and the offset when it needs
    // 64 bits.
    static CentralDirectoryStructure forNewEntry(const LocalFileHeader& localFileHeader,
                                                 uint32_t externalFileAttributes,
                                                 uint64_t relativeOffset);
    // The record of a newly written entry: the values of its local header, the given external
    // attributes, 32-bit offset field and extra area; version made by 0x0315.
    static CentralDirectoryStructure forLocalFileHeader(const LocalFileHeader& localFileHeader,
                                                        uint32_t externalFileAttributes,
                                                        uint32_t relativeOffset, Bytes extraField);
    // The record of an entry whose local header moved: `relativeOffset` is the new 32-bit offset
    // field (0xFFFFFFFF when the offset needs 64 bits) and `zip64` the rebuilt ZIP64 field.
    static CentralDirectoryStructure rebuilt(const CentralDirectoryStructure& record,
                                             const std::optional<ZIP64ExtendedInformation>& zip64,
                                             uint32_t relativeOffset);

    // This record for a local header that now lies at `offset`. The 32-bit offset field takes the
    // offset when it fits; otherwise, or when the record deferred its offset to the ZIP64 field,
    // the ZIP64 field is written anew with every value the record's markers defer to it. The
    // other extra blocks, the name and the comment are kept as they are. Nothing when the extra
    // area would outgrow 65535 bytes.
    std::optional<CentralDirectoryStructure> movedTo(uint64_t offset) const;

    Bytes data() const;
    std::vector<ZIP64ExtendedInformation::Field> validFields() const;
    // 46 + name + extra + comment lengths.
    uint64_t recordLength() const {
        return size + uint64_t{fileNameLength} + extraFieldLength + fileCommentLength;
    }

    bool isEncrypted() const { return (generalPurposeBitFlag & 0x0001) != 0; }
    bool usesDataDescriptor() const { return (generalPurposeBitFlag & 0x0008) != 0; }
    bool usesUTF8PathEncoding() const { return (generalPurposeBitFlag & 0x0800) != 0; }
    std::optional<ZIP64ExtendedInformation> zip64ExtendedInformation() const;
    bool isZIP64() const;
    uint64_t effectiveCompressedSize() const;
    uint64_t effectiveUncompressedSize() const;
    uint64_t effectiveRelativeOffsetOfLocalHeader() const;

    bool operator==(const CentralDirectoryStructure&) const = default;
};

// A data descriptor with 32-bit (16 bytes) or 64-bit (24 bytes) sizes. Its signature is optional
// in the bytes; in memory it always reads 0x08074b50.
template <class SizeType>
struct DataDescriptor {
    static_assert(std::is_same_v<SizeType, uint32_t> || std::is_same_v<SizeType, uint64_t>);
    static constexpr size_t size = std::is_same_v<SizeType, uint32_t> ? 16 : 24;
    static constexpr uint32_t signature = 0x08074b50;

    Bytes descriptorData;  // always empty: descriptors are never written
    uint32_t dataDescriptorSignature = signature;
    uint32_t crc32 = 0;
    SizeType compressedSize = 0;
    SizeType uncompressedSize = 0;

    static std::optional<DataDescriptor> parse(ByteView data) {
        if (data.size() != size) return std::nullopt;
        DataDescriptor d;
        size_t at = scanValue<uint32_t>(data, 0) == signature ? 4 : 0;
        d.crc32 = scanValue<uint32_t>(data, at);
        d.compressedSize = scanValue<SizeType>(data, at + 4);
        d.uncompressedSize = scanValue<SizeType>(data, at + 4 + sizeof(SizeType));
        return d;
    }
    Bytes data() const { return descriptorData; }

    bool operator==(const DataDescriptor&) const = default;
};

struct EndOfCentralDirectoryRecord {
    static constexpr size_t size = 22;
    static constexpr uint32_t signature = 0x06054b50;

    uint32_t endOfCentralDirectorySignature = signature;
    uint16_t numberOfDisk = 0;
    uint16_t numberOfDiskStart = 0;
    uint16_t totalNumberOfEntriesOnDisk = 0;
    uint16_t totalNumberOfEntriesInCentralDirectory = 0;
    uint32_t sizeOfCentralDirectory = 0;
    uint32_t offsetToStartOfCentralDirectory = 0;
    uint16_t zipFileCommentLength = 0;
    Bytes zipFileCommentData;

    static std::optional<EndOfCentralDirectoryRecord> parse(
        ByteView data, const AdditionalDataProvider& commentProvider);
    Bytes data() const;

    bool operator==(const EndOfCentralDirectoryRecord&) const = default;
};

struct ZIP64EndOfCentralDirectoryRecord {
    static constexpr size_t size = 56;
    static constexpr uint32_t signature = 0x06064b50;

    uint32_t zip64EOCDRecordSignature = signature;
    uint64_t sizeOfZIP64EndOfCentralDirectoryRecord = 44;
    uint16_t versionMadeBy = 0;
    uint16_t versionNeededToExtract = 0;
    uint32_t numberOfDisk = 0;
    uint32_t numberOfDiskStart = 0;
    uint64_t totalNumberOfEntriesOnDisk = 0;
    uint64_t totalNumberOfEntriesInCentralDirectory = 0;
    uint64_t sizeOfCentralDirectory = 0;
    uint64_t offsetToStartOfCentralDirectory = 0;
    Bytes zip64ExtensibleDataSector;  // written when held; never read

    // The provider is not used: the extensible data sector is never read.
    static std::optional<ZIP64EndOfCentralDirectoryRecord> parse(
        ByteView data, const AdditionalDataProvider& provider = {});
    Bytes data() const;

    bool operator==(const ZIP64EndOfCentralDirectoryRecord&) const = default;
};

struct ZIP64EndOfCentralDirectoryLocator {
    static constexpr size_t size = 20;
    static constexpr uint32_t signature = 0x07064b50;

    uint32_t zip64EOCDLocatorSignature = signature;
    uint32_t numberOfDiskWithZIP64EOCDRecordStart = 0;
    uint64_t relativeOffsetOfZIP64EOCDRecord = 0;
    uint32_t totalNumberOfDisk = 0;

    static std::optional<ZIP64EndOfCentralDirectoryLocator> parse(
        ByteView data, const AdditionalDataProvider& provider = {});
    Bytes data() const;

    bool operator==(const ZIP64EndOfCentralDirectoryLocator&) const = default;
};

}  // namespace zip
