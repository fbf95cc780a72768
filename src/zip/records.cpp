#include "zip/records.hpp"

#include <algorithm>

#include "byte_writer.hpp"

namespace zip {
namespace {

using Field = ZIP64ExtendedInformation::Field;
using detail::ByteWriter;

size_t fieldWidth(Field field) {
    return field == Field::diskNumberStart ? 4 : 8;
}

bool contains(std::span<const Field> fields, Field field) {
    for (Field f : fields) {
        if (f == field) return true;
    }
    return false;
}

// Fetches exactly `count` bytes of a record's variable part; nothing when the provider fails or
// delivers another length.
std::optional<Bytes> fetchVariablePart(const AdditionalDataProvider& provider, size_t count) {
    if (count == 0) {
        if (!provider) return Bytes{};
        std::optional<Bytes> bytes = provider(0);
        if (!bytes || !bytes->empty()) return std::nullopt;
        return bytes;
    }
    if (!provider) return std::nullopt;
    std::optional<Bytes> bytes = provider(count);
    if (!bytes || bytes->size() != count) return std::nullopt;
    return bytes;
}

std::vector<ZIP64ExtendedInformation> findZIP64(ByteView extra, std::span<const Field> fields) {
    std::vector<ZIP64ExtendedInformation> found;
    if (auto field = ZIP64ExtendedInformation::scanForZIP64Field(extra, fields))
        found.push_back(*field);
    return found;
}

}  // namespace

// ZIP64 extended information

std::optional<ZIP64ExtendedInformation> ZIP64ExtendedInformation::parse(
    ByteView data, std::span<const Field> fields) {
    size_t expected = 4;
    for (Field f : {Field::uncompressedSize, Field::compressedSize,
                    Field::relativeOffsetOfLocalHeader, Field::diskNumberStart}) {
        if (contains(fields, f)) expected += fieldWidth(f);
    }
    if (data.size() != expected) return std::nullopt;
    ZIP64ExtendedInformation info;
    info.dataSize = scanValue<uint16_t>(data, 2);
    size_t at = 4;
    if (contains(fields, Field::uncompressedSize)) {
        info.uncompressedSize = scanValue<uint64_t>(data, at);
        at += 8;
    }
    if (contains(fields, Field::compressedSize)) {
        info.compressedSize = scanValue<uint64_t>(data, at);
        at += 8;
    }
    if (contains(fields, Field::relativeOffsetOfLocalHeader)) {
        info.relativeOffsetOfLocalHeader = scanValue<uint64_t>(data, at);
        at += 8;
    }
    if (contains(fields, Field::diskNumberStart))
        info.diskNumberStart = scanValue<uint32_t>(data, at);
    return info;
}

std::optional<ZIP64ExtendedInformation> ZIP64ExtendedInformation::scanForZIP64Field(
    ByteView extraField, std::span<const Field> fields) {
    const size_t total = extraField.size();
    if (total <= 4) return std::nullopt;
    size_t start = 0;
    size_t end = 4 + size_t{scanValue<uint16_t>(extraField, 2)};
    if (end > total) return std::nullopt;
    while (scanValue<uint16_t>(extraField, start) != zip64HeaderID) {
        start = end;
        if (start >= total - 4) return std::nullopt;
        end = start + 4 + size_t{scanValue<uint16_t>(extraField, start + 2)};
        if (end > total) return std::nullopt;
    }
    return parse(extraField.subspan(start, end - start), fields);
}

std::optional<ZIP64ExtendedInformation> ZIP64ExtendedInformation::rebuilt(
    const std::optional<ZIP64ExtendedInformation>& old, uint64_t offset) {
    if (!old) return std::nullopt;
    ZIP64ExtendedInformation info = *old;
    info.headerID = zip64HeaderID;
    info.relativeOffsetOfLocalHeader = offset >= 0xFFFFFFFFu ? offset : 0;
    // Count what data() writes: both sizes travel together.
    size_t size = 0;
    if (info.uncompressedSize != 0 || info.compressedSize != 0) size += 16;
    if (info.relativeOffsetOfLocalHeader != 0) size += 8;
    if (info.diskNumberStart != 0) size += 4;
    if (size == 0) return std::nullopt;
    info.dataSize = static_cast<uint16_t>(size);
    return info;
}

Bytes ZIP64ExtendedInformation::data() const {
    ByteWriter w(32);
    w.put(headerID).put(dataSize);
    if (uncompressedSize != 0 || compressedSize != 0) w.put(uncompressedSize).put(compressedSize);
    if (relativeOffsetOfLocalHeader != 0) w.put(relativeOffsetOfLocalHeader);
    if (diskNumberStart != 0) w.put(diskNumberStart);
    return w.take();
}

Bytes ZIP64ExtendedInformation::data(std::span<const Field> fields) const {
    size_t size = 0;
    for (Field f : fields)
        size += fieldWidth(f);
    ByteWriter w(4 + size);
    w.put(zip64HeaderID).put(static_cast<uint16_t>(size));
    if (contains(fields, Field::uncompressedSize)) w.put(uncompressedSize);
    if (contains(fields, Field::compressedSize)) w.put(compressedSize);
    if (contains(fields, Field::relativeOffsetOfLocalHeader)) w.put(relativeOffsetOfLocalHeader);
    if (contains(fields, Field::diskNumberStart)) w.put(diskNumberStart);
    return w.take();
}

// Local file header

std::optional<LocalFileHeader> LocalFileHeader::parse(ByteView data,
                                                      const AdditionalDataProvider& provider) {
    if (data.size() != size || scanValue<uint32_t>(data, 0) != signature) return std::nullopt;
    LocalFileHeader h;
    h.versionNeededToExtract = scanValue<uint16_t>(data, 4);
    h.generalPurposeBitFlag = scanValue<uint16_t>(data, 6);
    h.compressionMethod = scanValue<uint16_t>(data, 8);
    h.lastModFileTime = scanValue<uint16_t>(data, 10);
    h.lastModFileDate = scanValue<uint16_t>(data, 12);
    h.crc32 = scanValue<uint32_t>(data, 14);
    h.compressedSize = scanValue<uint32_t>(data, 18);
    h.uncompressedSize = scanValue<uint32_t>(data, 22);
    h.fileNameLength = scanValue<uint16_t>(data, 26);
    h.extraFieldLength = scanValue<uint16_t>(data, 28);
    auto rest = fetchVariablePart(provider, size_t{h.fileNameLength} + h.extraFieldLength);
    if (!rest) return std::nullopt;
    h.fileNameData.assign(rest->begin(), rest->begin() + h.fileNameLength);
    h.extraFieldData.assign(rest->begin() + h.fileNameLength, rest->end());
    auto fields = h.validFields();
    h.extraFields = findZIP64(h.extraFieldData, fields);
    return h;
}

Bytes LocalFileHeader::data() const {
    ByteWriter w(size + fileNameData.size() + extraFieldData.size());
    w.put(localFileHeaderSignature)
        .put(versionNeededToExtract)
        .put(generalPurposeBitFlag)
        .put(compressionMethod)
        .put(lastModFileTime)
        .put(lastModFileDate)
        .put(crc32)
        .put(compressedSize)
        .put(uncompressedSize)
        .put(fileNameLength)
        .put(extraFieldLength)
        .append(fileNameData)
        .append(extraFieldData);
    return w.take();
}

LocalFileHeader LocalFileHeader::forNewEntry(Bytes fileName, uint16_t compressionMethod,
                                             uint64_t uncompressedSize, uint64_t compressedSize,
                                             uint32_t crc32, uint16_t lastModFileTime,
                                             uint16_t lastModFileDate, bool forceZIP64) {
    LocalFileHeader h;
    const bool zip64 =
        forceZIP64 || uncompressedSize >= 0xFFFFFFFFu || compressedSize >= 0xFFFFFFFFu;
    h.versionNeededToExtract = zip64 ? 45 : 20;
    h.generalPurposeBitFlag = 0x0800;
    h.compressionMethod = compressionMethod;
    h.lastModFileTime = lastModFileTime;
    h.lastModFileDate = lastModFileDate;
    h.crc32 = crc32;
    h.compressedSize = zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(compressedSize);
    h.uncompressedSize = zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(uncompressedSize);
    h.fileNameLength = static_cast<uint16_t>(fileName.size());
    h.fileNameData = std::move(fileName);
    if (zip64) {
        ZIP64ExtendedInformation info;
        info.dataSize = 16;
        info.uncompressedSize = uncompressedSize;
        info.compressedSize = compressedSize;
        h.extraFieldData = info.data();
        h.extraFieldLength = static_cast<uint16_t>(h.extraFieldData.size());
    }
    auto fields = h.validFields();
    h.extraFields = findZIP64(h.extraFieldData, fields);
    return h;
}

std::vector<Field> LocalFileHeader::validFields() const {
    std::vector<Field> fields;
    if (uncompressedSize == 0xFFFFFFFFu) fields.push_back(Field::uncompressedSize);
    if (compressedSize == 0xFFFFFFFFu) fields.push_back(Field::compressedSize);
    return fields;
}

// Central directory structure

std::optional<CentralDirectoryStructure> CentralDirectoryStructure::parse(
    ByteView data, const AdditionalDataProvider& provider) {
    if (data.size() != size || scanValue<uint32_t>(data, 0) != signature) return std::nullopt;
    CentralDirectoryStructure r;
    r.versionMadeBy = scanValue<uint16_t>(data, 4);
    r.versionNeededToExtract = scanValue<uint16_t>(data, 6);
    r.generalPurposeBitFlag = scanValue<uint16_t>(data, 8);
    r.compressionMethod = scanValue<uint16_t>(data, 10);
    r.lastModFileTime = scanValue<uint16_t>(data, 12);
    r.lastModFileDate = scanValue<uint16_t>(data, 14);
    r.crc32 = scanValue<uint32_t>(data, 16);
    r.compressedSize = scanValue<uint32_t>(data, 20);
    r.uncompressedSize = scanValue<uint32_t>(data, 24);
    r.fileNameLength = scanValue<uint16_t>(data, 28);
    r.extraFieldLength = scanValue<uint16_t>(data, 30);
    r.fileCommentLength = scanValue<uint16_t>(data, 32);
    r.diskNumberStart = scanValue<uint16_t>(data, 34);
    r.internalFileAttributes = scanValue<uint16_t>(data, 36);
    r.externalFileAttributes = scanValue<uint32_t>(data, 38);
    r.relativeOffsetOfLocalHeader = scanValue<uint32_t>(data, 42);
    const size_t n = r.fileNameLength;
    const size_t m = r.extraFieldLength;
    auto rest = fetchVariablePart(provider, n + m + r.fileCommentLength);
    if (!rest) return std::nullopt;
    r.fileNameData.assign(rest->begin(), rest->begin() + n);
    r.extraFieldData.assign(rest->begin() + n, rest->begin() + n + m);
    r.fileCommentData.assign(rest->begin() + n + m, rest->end());
    auto fields = r.validFields();
    r.extraFields = findZIP64(r.extraFieldData, fields);
    return r;
}

CentralDirectoryStructure CentralDirectoryStructure::forNewEntry(
    const LocalFileHeader& localFileHeader, uint32_t externalFileAttributes,
    uint64_t relativeOffset) {
    ZIP64ExtendedInformation info;
    size_t values = 0;
    if (localFileHeader.uncompressedSize == 0xFFFFFFFFu ||
        localFileHeader.compressedSize == 0xFFFFFFFFu) {
        const Field sizes[] = {Field::uncompressedSize, Field::compressedSize};
        if (auto local = ZIP64ExtendedInformation::scanForZIP64Field(localFileHeader.extraFieldData,
                                                                     sizes)) {
            info.uncompressedSize = local->uncompressedSize;
            info.compressedSize = local->compressedSize;
            values += 2;
        }
    }
    if (relativeOffset >= 0xFFFFFFFFu) {
        info.relativeOffsetOfLocalHeader = relativeOffset;
        values += 1;
    }
    Bytes extra;
    if (values > 0) {
        info.dataSize = static_cast<uint16_t>(8 * values);
        extra = info.data();
    }
    const uint32_t offsetField =
        relativeOffset >= 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(relativeOffset);
    return forLocalFileHeader(localFileHeader, externalFileAttributes, offsetField,
                              std::move(extra));
}

CentralDirectoryStructure CentralDirectoryStructure::forLocalFileHeader(
    const LocalFileHeader& localFileHeader, uint32_t externalFileAttributes,
    uint32_t relativeOffset, Bytes extraField) {
    CentralDirectoryStructure r;
    r.versionMadeBy = 0x0315;
    r.versionNeededToExtract = localFileHeader.versionNeededToExtract;
    r.generalPurposeBitFlag = localFileHeader.generalPurposeBitFlag;
    r.compressionMethod = localFileHeader.compressionMethod;
    r.lastModFileTime = localFileHeader.lastModFileTime;
    r.lastModFileDate = localFileHeader.lastModFileDate;
    r.crc32 = localFileHeader.crc32;
    r.compressedSize = localFileHeader.compressedSize;
    r.uncompressedSize = localFileHeader.uncompressedSize;
    r.fileNameLength = localFileHeader.fileNameLength;
    r.fileNameData = localFileHeader.fileNameData;
    r.extraFieldLength = static_cast<uint16_t>(extraField.size());
    r.extraFieldData = std::move(extraField);
    r.externalFileAttributes = externalFileAttributes;
    r.relativeOffsetOfLocalHeader = relativeOffset;
    auto fields = r.validFields();
    r.extraFields = findZIP64(r.extraFieldData, fields);
    return r;
}

CentralDirectoryStructure CentralDirectoryStructure::rebuilt(
    const CentralDirectoryStructure& record, const std::optional<ZIP64ExtendedInformation>& zip64,
    uint32_t relativeOffset) {
    CentralDirectoryStructure r = record;
    r.relativeOffsetOfLocalHeader = relativeOffset;
    // The field written holds exactly the values the record's 32-bit markers defer to it, so that
    // this component and other readers find every value where the markers say.
    auto fields = r.validFields();
    if (zip64 && !fields.empty()) {
        r.extraFieldData = zip64->data(fields);
        r.versionNeededToExtract = std::max<uint16_t>(record.versionNeededToExtract, 45);
    } else if (record.versionNeededToExtract >= 45) {
        r.versionNeededToExtract = 20;
    }
    r.extraFieldLength = static_cast<uint16_t>(r.extraFieldData.size());
    r.extraFields = findZIP64(r.extraFieldData, fields);
    return r;
}

std::optional<CentralDirectoryStructure> CentralDirectoryStructure::movedTo(uint64_t offset) const {
    CentralDirectoryStructure r = *this;
    const bool wide = offset >= 0xFFFFFFFFu;
    if (!wide && relativeOffsetOfLocalHeader != 0xFFFFFFFFu) {
        r.relativeOffsetOfLocalHeader = static_cast<uint32_t>(offset);
        return r;
    }
    ZIP64ExtendedInformation info = zip64ExtendedInformation().value_or(ZIP64ExtendedInformation{});
    info.relativeOffsetOfLocalHeader = offset;
    r.relativeOffsetOfLocalHeader = wide ? 0xFFFFFFFFu : static_cast<uint32_t>(offset);
    const auto fields = r.validFields();
    Bytes extra = fields.empty() ? Bytes{} : info.data(fields);
    // Keep every other block; an area whose block lengths run past its end is kept from there on
    // as it is.
    const ByteView old = extraFieldData;
    size_t at = 0;
    while (at + 4 <= old.size()) {
        const size_t length = 4 + size_t{scanValue<uint16_t>(old, at + 2)};
        if (length > old.size() - at) break;
        if (scanValue<uint16_t>(old, at) != ZIP64ExtendedInformation::zip64HeaderID)
            extra.insert(extra.end(), old.begin() + at, old.begin() + at + length);
        at += length;
    }
    extra.insert(extra.end(), old.begin() + at, old.end());
    if (extra.size() > 0xFFFF) return std::nullopt;
    if (!fields.empty())
        r.versionNeededToExtract = std::max<uint16_t>(r.versionNeededToExtract & 0xFF, 45);
    r.extraFieldLength = static_cast<uint16_t>(extra.size());
    r.extraFieldData = std::move(extra);
    r.extraFields = findZIP64(r.extraFieldData, fields);
    return r;
}

Bytes CentralDirectoryStructure::data() const {
    ByteWriter w(size + fileNameData.size() + extraFieldData.size() + fileCommentData.size());
    w.put(centralDirectorySignature)
        .put(versionMadeBy)
        .put(versionNeededToExtract)
        .put(generalPurposeBitFlag)
        .put(compressionMethod)
        .put(lastModFileTime)
        .put(lastModFileDate)
        .put(crc32)
        .put(compressedSize)
        .put(uncompressedSize)
        .put(fileNameLength)
        .put(extraFieldLength)
        .put(fileCommentLength)
        .put(diskNumberStart)
        .put(internalFileAttributes)
        .put(externalFileAttributes)
        .put(relativeOffsetOfLocalHeader)
        .append(fileNameData)
        .append(extraFieldData)
        .append(fileCommentData);
    return w.take();
}

std::vector<Field> CentralDirectoryStructure::validFields() const {
    std::vector<Field> fields;
    if (uncompressedSize == 0xFFFFFFFFu) fields.push_back(Field::uncompressedSize);
    if (compressedSize == 0xFFFFFFFFu) fields.push_back(Field::compressedSize);
    if (relativeOffsetOfLocalHeader == 0xFFFFFFFFu)
        fields.push_back(Field::relativeOffsetOfLocalHeader);
    if (diskNumberStart == 0xFFFFu) fields.push_back(Field::diskNumberStart);
    return fields;
}

std::optional<ZIP64ExtendedInformation> CentralDirectoryStructure::zip64ExtendedInformation()
    const {
    for (const auto& field : extraFields) {
        if (field.headerID == ZIP64ExtendedInformation::zip64HeaderID) return field;
    }
    return std::nullopt;
}

bool CentralDirectoryStructure::isZIP64() const {
    return (versionNeededToExtract & 0xFF) >= 45 || !extraFields.empty();
}

uint64_t CentralDirectoryStructure::effectiveCompressedSize() const {
    // The ZIP64 value stands wherever the 32-bit field holds the placeholder, zero included.
    auto z = zip64ExtendedInformation();
    return z && compressedSize == 0xFFFFFFFFu ? z->compressedSize : compressedSize;
}

uint64_t CentralDirectoryStructure::effectiveUncompressedSize() const {
    auto z = zip64ExtendedInformation();
    return z && uncompressedSize == 0xFFFFFFFFu ? z->uncompressedSize : uncompressedSize;
}

uint64_t CentralDirectoryStructure::effectiveRelativeOffsetOfLocalHeader() const {
    auto z = zip64ExtendedInformation();
    return z && relativeOffsetOfLocalHeader == 0xFFFFFFFFu ? z->relativeOffsetOfLocalHeader
                                                           : relativeOffsetOfLocalHeader;
}

// End of central directory record

std::optional<EndOfCentralDirectoryRecord> EndOfCentralDirectoryRecord::parse(
    ByteView data, const AdditionalDataProvider& commentProvider) {
    if (data.size() != size || scanValue<uint32_t>(data, 0) != signature) return std::nullopt;
    EndOfCentralDirectoryRecord r;
    r.numberOfDisk = scanValue<uint16_t>(data, 4);
    r.numberOfDiskStart = scanValue<uint16_t>(data, 6);
    r.totalNumberOfEntriesOnDisk = scanValue<uint16_t>(data, 8);
    r.totalNumberOfEntriesInCentralDirectory = scanValue<uint16_t>(data, 10);
    r.sizeOfCentralDirectory = scanValue<uint32_t>(data, 12);
    r.offsetToStartOfCentralDirectory = scanValue<uint32_t>(data, 16);
    r.zipFileCommentLength = scanValue<uint16_t>(data, 20);
    auto comment = fetchVariablePart(commentProvider, r.zipFileCommentLength);
    if (!comment) return std::nullopt;
    r.zipFileCommentData = std::move(*comment);
    return r;
}

Bytes EndOfCentralDirectoryRecord::data() const {
    ByteWriter w(size + zipFileCommentData.size());
    w.put(endOfCentralDirectorySignature)
        .put(numberOfDisk)
        .put(numberOfDiskStart)
        .put(totalNumberOfEntriesOnDisk)
        .put(totalNumberOfEntriesInCentralDirectory)
        .put(sizeOfCentralDirectory)
        .put(offsetToStartOfCentralDirectory)
        .put(zipFileCommentLength)
        .append(zipFileCommentData);
    return w.take();
}

// ZIP64 end of central directory record and locator

std::optional<ZIP64EndOfCentralDirectoryRecord> ZIP64EndOfCentralDirectoryRecord::parse(
    ByteView data, const AdditionalDataProvider&) {
    if (data.size() != size || scanValue<uint32_t>(data, 0) != signature) return std::nullopt;
    ZIP64EndOfCentralDirectoryRecord r;
    r.sizeOfZIP64EndOfCentralDirectoryRecord = scanValue<uint64_t>(data, 4);
    r.versionMadeBy = scanValue<uint16_t>(data, 12);
    r.versionNeededToExtract = scanValue<uint16_t>(data, 14);
    if (r.versionNeededToExtract < 45) return std::nullopt;
    r.numberOfDisk = scanValue<uint32_t>(data, 16);
    r.numberOfDiskStart = scanValue<uint32_t>(data, 20);
    r.totalNumberOfEntriesOnDisk = scanValue<uint64_t>(data, 24);
    r.totalNumberOfEntriesInCentralDirectory = scanValue<uint64_t>(data, 32);
    r.sizeOfCentralDirectory = scanValue<uint64_t>(data, 40);
    r.offsetToStartOfCentralDirectory = scanValue<uint64_t>(data, 48);
    return r;
}

Bytes ZIP64EndOfCentralDirectoryRecord::data() const {
    ByteWriter w(size + zip64ExtensibleDataSector.size());
    w.put(zip64EOCDRecordSignature)
        .put(sizeOfZIP64EndOfCentralDirectoryRecord)
        .put(versionMadeBy)
        .put(versionNeededToExtract)
        .put(numberOfDisk)
        .put(numberOfDiskStart)
        .put(totalNumberOfEntriesOnDisk)
        .put(totalNumberOfEntriesInCentralDirectory)
        .put(sizeOfCentralDirectory)
        .put(offsetToStartOfCentralDirectory)
        .append(zip64ExtensibleDataSector);
    return w.take();
}

std::optional<ZIP64EndOfCentralDirectoryLocator> ZIP64EndOfCentralDirectoryLocator::parse(
    ByteView data, const AdditionalDataProvider&) {
    if (data.size() != size || scanValue<uint32_t>(data, 0) != signature) return std::nullopt;
    ZIP64EndOfCentralDirectoryLocator l;
    l.numberOfDiskWithZIP64EOCDRecordStart = scanValue<uint32_t>(data, 4);
    l.relativeOffsetOfZIP64EOCDRecord = scanValue<uint64_t>(data, 8);
    l.totalNumberOfDisk = scanValue<uint32_t>(data, 16);
    return l;
}

Bytes ZIP64EndOfCentralDirectoryLocator::data() const {
    ByteWriter w(size);
    w.put(zip64EOCDLocatorSignature)
        .put(numberOfDiskWithZIP64EOCDRecordStart)
        .put(relativeOffsetOfZIP64EOCDRecord)
        .put(totalNumberOfDisk);
    return w.take();
}

}  // namespace zip
