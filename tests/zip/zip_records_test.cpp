// Record formats: acceptance rules when reading, byte-exact serialisation, the ZIP64 extra field.
#include <gtest/gtest.h>

#include "zip/records.hpp"
#include "zip_test_support.hpp"

namespace {

using namespace zip;
using ziptest::Bytes;
using ziptest::LE;
using ziptest::providerOf;
using Field = ZIP64ExtendedInformation::Field;

Bytes localHeaderBytes(uint32_t compressed, uint32_t uncompressed, const std::string& name,
                       const Bytes& extra) {
    return LE()
        .put<uint32_t>(0x04034b50)
        .put<uint16_t>(20)
        .put<uint16_t>(0x0808)
        .put<uint16_t>(8)
        .put<uint16_t>(0x8DAF)
        .put<uint16_t>(0x5869)
        .put<uint32_t>(0xCAFEBABE)
        .put(compressed)
        .put(uncompressed)
        .put<uint16_t>(static_cast<uint16_t>(name.size()))
        .put<uint16_t>(static_cast<uint16_t>(extra.size()))
        .append(name)
        .append(extra);
}

Bytes centralBytes(uint32_t compressed, uint32_t uncompressed, uint32_t offset, uint16_t disk,
                   const std::string& name, const Bytes& extra, const std::string& comment) {
    return LE()
        .put<uint32_t>(0x02014b50)
        .put<uint16_t>(0x031E)
        .put<uint16_t>(45)
        .put<uint16_t>(0x0800)
        .put<uint16_t>(8)
        .put<uint16_t>(1)
        .put<uint16_t>(2)
        .put<uint32_t>(0x12345678)
        .put(compressed)
        .put(uncompressed)
        .put<uint16_t>(static_cast<uint16_t>(name.size()))
        .put<uint16_t>(static_cast<uint16_t>(extra.size()))
        .put<uint16_t>(static_cast<uint16_t>(comment.size()))
        .put(disk)
        .put<uint16_t>(1)
        .put<uint32_t>(0x81A40000)
        .put(offset)
        .append(name)
        .append(extra)
        .append(comment);
}

// Splits serialised record bytes into the fixed part and a provider of the rest.
template <class Record>
std::optional<Record> parseWhole(const Bytes& bytes) {
    Bytes fixed(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(Record::size));
    Bytes rest(bytes.begin() + static_cast<std::ptrdiff_t>(Record::size), bytes.end());
    return Record::parse(fixed, providerOf(rest));
}

TEST(ZipRecords, LocalHeaderReadsEveryFieldAtItsOffset) {
    Bytes bytes = localHeaderBytes(100, 200, "a.txt",
                                   LE().put<uint16_t>(0x5455).put<uint16_t>(1).put<uint8_t>(7));
    auto h = parseWhole<LocalFileHeader>(bytes);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->versionNeededToExtract, 20);
    EXPECT_EQ(h->generalPurposeBitFlag, 0x0808);
    EXPECT_EQ(h->compressionMethod, 8);
    EXPECT_EQ(h->lastModFileTime, 0x8DAF);
    EXPECT_EQ(h->lastModFileDate, 0x5869);
    EXPECT_EQ(h->crc32, 0xCAFEBABEu);
    EXPECT_EQ(h->compressedSize, 100u);
    EXPECT_EQ(h->uncompressedSize, 200u);
    EXPECT_EQ(std::string(h->fileNameData.begin(), h->fileNameData.end()), "a.txt");
    EXPECT_EQ(h->extraFieldData.size(), 5u);
    EXPECT_TRUE(h->extraFields.empty());
    EXPECT_EQ(h->data(), bytes);
}

TEST(ZipRecords, FixedPartsOfWrongLengthOrSignatureAreAbsent) {
    Bytes header = localHeaderBytes(1, 1, "", {});
    Bytes central = centralBytes(1, 1, 0, 0, "", {}, "");
    auto local = [&](size_t size) {
        Bytes b = header;
        b.resize(size, 0);
        return LocalFileHeader::parse(b, providerOf({})).has_value();
    };
    EXPECT_TRUE(local(30));
    EXPECT_FALSE(local(29));
    EXPECT_FALSE(local(31));
    Bytes wrongSignature = header;
    wrongSignature[2] = 0x01;  // 0x02014b50: a central record's signature
    wrongSignature[3] = 0x02;
    EXPECT_FALSE(LocalFileHeader::parse(wrongSignature, providerOf({})));
    EXPECT_TRUE(CentralDirectoryStructure::parse(central, providerOf({})));
    EXPECT_FALSE(CentralDirectoryStructure::parse(header, providerOf({})));
    Bytes eocd = LE().put<uint32_t>(0x06054b50).put<uint64_t>(0).put<uint64_t>(0).put<uint16_t>(0);
    EXPECT_TRUE(EndOfCentralDirectoryRecord::parse(eocd, providerOf({})));
    eocd.push_back(0);
    EXPECT_FALSE(EndOfCentralDirectoryRecord::parse(eocd, providerOf({})));
}

TEST(ZipRecords, TruncatedOrFailingVariablePartMakesTheRecordAbsent) {
    Bytes bytes = localHeaderBytes(1, 1, "name.txt", {});
    Bytes fixed(bytes.begin(), bytes.begin() + 30);
    EXPECT_FALSE(LocalFileHeader::parse(fixed, providerOf(Bytes{'n', 'a', 'm'})));
    EXPECT_FALSE(LocalFileHeader::parse(fixed, [](size_t) { return std::optional<Bytes>(); }));
    EXPECT_FALSE(
        LocalFileHeader::parse(fixed, providerOf(Bytes(20, 'x'))).value().fileNameData.empty());
    Bytes eocd = LE().put<uint32_t>(0x06054b50).put<uint64_t>(0).put<uint64_t>(0).put<uint16_t>(10);
    EXPECT_FALSE(EndOfCentralDirectoryRecord::parse(eocd, providerOf(Bytes(9, 'c'))));
    EXPECT_EQ(
        EndOfCentralDirectoryRecord::parse(eocd, providerOf(Bytes(10, 'c')))->zipFileCommentData,
        Bytes(10, 'c'));
}

TEST(ZipRecords, DataDescriptorsWithAndWithoutSignature) {
    Bytes with32 =
        LE().put<uint32_t>(0x08074b50).put<uint32_t>(0xAABBCCDD).put<uint32_t>(5).put<uint32_t>(9);
    Bytes without32 =
        LE().put<uint32_t>(0xAABBCCDD).put<uint32_t>(5).put<uint32_t>(9).put<uint32_t>(0xEEEEEEEE);
    for (const Bytes& bytes : {with32, without32}) {
        auto d = DataDescriptor<uint32_t>::parse(bytes);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->dataDescriptorSignature, 0x08074b50u);
        EXPECT_EQ(d->crc32, 0xAABBCCDDu);
        EXPECT_EQ(d->compressedSize, 5u);
        EXPECT_EQ(d->uncompressedSize, 9u);
        EXPECT_TRUE(d->data().empty());
    }
    Bytes with64 = LE().put<uint32_t>(0x08074b50)
                       .put<uint32_t>(7)
                       .put<uint64_t>(0x100000001ULL)
                       .put<uint64_t>(0x200000002ULL);
    auto d = DataDescriptor<uint64_t>::parse(with64);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->compressedSize, 0x100000001ULL);
    EXPECT_EQ(d->uncompressedSize, 0x200000002ULL);
    Bytes without64 = LE().put<uint32_t>(7)
                          .put<uint64_t>(0x100000001ULL)
                          .put<uint64_t>(0x200000002ULL)
                          .put<uint32_t>(0);
    EXPECT_EQ(DataDescriptor<uint64_t>::parse(without64)->uncompressedSize, 0x200000002ULL);
    EXPECT_FALSE(DataDescriptor<uint32_t>::parse(with64));
    EXPECT_FALSE(DataDescriptor<uint64_t>::parse(with32));
}

TEST(ZipRecords, ZIP64EndRecordNeedsVersion45AndExactLength) {
    auto record = [](uint16_t version) {
        return LE()
            .put<uint32_t>(0x06064b50)
            .put<uint64_t>(44)
            .put<uint16_t>(0x031E)
            .put(version)
            .put<uint32_t>(0)
            .put<uint32_t>(0)
            .put<uint64_t>(3)
            .put<uint64_t>(3)
            .put<uint64_t>(150)
            .put<uint64_t>(0x123456789ULL)
            .bytes();
    };
    EXPECT_FALSE(ZIP64EndOfCentralDirectoryRecord::parse(record(44)));
    auto r = ZIP64EndOfCentralDirectoryRecord::parse(record(45));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->offsetToStartOfCentralDirectory, 0x123456789ULL);
    EXPECT_EQ(r->totalNumberOfEntriesInCentralDirectory, 3u);
    Bytes longer = record(45);
    longer.push_back(0);
    EXPECT_FALSE(ZIP64EndOfCentralDirectoryRecord::parse(longer));
    Bytes locator =
        LE().put<uint32_t>(0x07064b50).put<uint32_t>(0).put<uint64_t>(99).put<uint32_t>(1);
    EXPECT_EQ(ZIP64EndOfCentralDirectoryLocator::parse(locator)->relativeOffsetOfZIP64EOCDRecord,
              99u);
}

TEST(ZipRecords, ZIP64FieldSearchInExtraAreas) {
    const std::vector<Field> uncompressedOnly = {Field::uncompressedSize};
    struct Case {
        const char* name;
        Bytes extra;
        std::vector<Field> fields;
        std::optional<uint64_t> uncompressed;
    };
    const std::vector<Case> cases = {
        {"four bytes only", LE().put<uint16_t>(1).put<uint16_t>(0), {}, std::nullopt},
        {"after another block",
         LE().put<uint16_t>(0x7875)
             .put<uint16_t>(5)
             .append(Bytes(5, 9))
             .put<uint16_t>(1)
             .put<uint16_t>(8)
             .put<uint64_t>(5000000000ULL),
         uncompressedOnly, 5000000000ULL},
        {"length differs from expectation",
         LE().put<uint16_t>(1).put<uint16_t>(16).put<uint64_t>(5000000000ULL).put<uint64_t>(7),
         uncompressedOnly, std::nullopt},
        {"block runs past the area", LE().put<uint16_t>(1).put<uint16_t>(9).put<uint64_t>(1),
         uncompressedOnly, std::nullopt},
        {"no ZIP64 block", LE().put<uint16_t>(0x5455).put<uint16_t>(1).put<uint8_t>(0),
         uncompressedOnly, std::nullopt},
    };
    for (const auto& c : cases) {
        auto found = ZIP64ExtendedInformation::scanForZIP64Field(c.extra, c.fields);
        EXPECT_EQ(found.has_value(), c.uncompressed.has_value()) << c.name;
        if (found && c.uncompressed) {
            EXPECT_EQ(found->uncompressedSize, *c.uncompressed) << c.name;
            EXPECT_EQ(found->compressedSize, 0u) << c.name;
            EXPECT_EQ(found->headerID, 1);
        }
    }
}

TEST(ZipRecords, CentralRecordEffectiveValuesFollowTheZIP64Field) {
    // Offset and disk number deferred: the field holds 8 + 4 bytes in that order.
    Bytes extra =
        LE().put<uint16_t>(1).put<uint16_t>(12).put<uint64_t>(0x100000000ULL).put<uint32_t>(3);
    auto r = parseWhole<CentralDirectoryStructure>(
        centralBytes(10, 20, 0xFFFFFFFF, 0xFFFF, "x", extra, "c"));
    ASSERT_TRUE(r);
    ASSERT_TRUE(r->zip64ExtendedInformation());
    EXPECT_EQ(r->effectiveRelativeOffsetOfLocalHeader(), 0x100000000ULL);
    EXPECT_EQ(r->zip64ExtendedInformation()->diskNumberStart, 3u);
    EXPECT_EQ(r->effectiveCompressedSize(), 10u);
    EXPECT_EQ(r->effectiveUncompressedSize(), 20u);
    EXPECT_TRUE(r->isZIP64());

    // An unusable ZIP64 field leaves the 32-bit markers in place.
    Bytes wrong =
        LE().put<uint16_t>(1).put<uint16_t>(16).put<uint64_t>(5000000000ULL).put<uint64_t>(1);
    auto w =
        parseWhole<CentralDirectoryStructure>(centralBytes(10, 0xFFFFFFFF, 0, 0, "x", wrong, ""));
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->zip64ExtendedInformation());
    EXPECT_EQ(w->effectiveUncompressedSize(), 0xFFFFFFFFu);
}

TEST(ZipRecords, EveryRecordRoundTripsThroughItsBytes) {
    Bytes zip64 = LE().put<uint16_t>(1)
                      .put<uint16_t>(16)
                      .put<uint64_t>(5000000000ULL)
                      .put<uint64_t>(4000000000ULL);
    auto local =
        parseWhole<LocalFileHeader>(localHeaderBytes(0xFFFFFFFF, 0xFFFFFFFF, "big.bin", zip64));
    ASSERT_TRUE(local);
    ASSERT_EQ(local->extraFields.size(), 1u);
    EXPECT_EQ(local->extraFields[0].uncompressedSize, 5000000000ULL);
    EXPECT_EQ(parseWhole<LocalFileHeader>(local->data()), local);

    auto central = parseWhole<CentralDirectoryStructure>(
        centralBytes(0xFFFFFFFF, 0xFFFFFFFF, 77, 0, "dir/big.bin", zip64, "a comment"));
    ASSERT_TRUE(central);
    EXPECT_EQ(central->effectiveCompressedSize(), 4000000000ULL);
    EXPECT_EQ(parseWhole<CentralDirectoryStructure>(central->data()), central);

    EndOfCentralDirectoryRecord eocd;
    eocd.totalNumberOfEntriesOnDisk = eocd.totalNumberOfEntriesInCentralDirectory = 2;
    eocd.sizeOfCentralDirectory = 120;
    eocd.offsetToStartOfCentralDirectory = 4000;
    eocd.zipFileCommentData = {'h', 'i'};
    eocd.zipFileCommentLength = 2;
    EXPECT_EQ(parseWhole<EndOfCentralDirectoryRecord>(eocd.data()), eocd);

    ZIP64EndOfCentralDirectoryRecord z;
    z.versionMadeBy = 0x0315;
    z.versionNeededToExtract = 45;
    z.totalNumberOfEntriesOnDisk = z.totalNumberOfEntriesInCentralDirectory = 70000;
    z.sizeOfCentralDirectory = 1 << 24;
    z.offsetToStartOfCentralDirectory = 1ULL << 33;
    EXPECT_EQ(z.data().size(), 56u);
    EXPECT_EQ(ZIP64EndOfCentralDirectoryRecord::parse(z.data()), z);

    ZIP64EndOfCentralDirectoryLocator l;
    l.relativeOffsetOfZIP64EOCDRecord = (1ULL << 33) + (1 << 24);
    l.totalNumberOfDisk = 1;
    EXPECT_EQ(ZIP64EndOfCentralDirectoryLocator::parse(l.data()), l);
}

TEST(ZipRecords, ZIP64FieldSerialisesBothSizesTogether) {
    ZIP64ExtendedInformation info;
    info.dataSize = 16;
    info.uncompressedSize = 5000000000ULL;
    EXPECT_EQ(info.data().size(), 20u);
    EXPECT_EQ(info.data(), LE().put<uint16_t>(1)
                               .put<uint16_t>(16)
                               .put<uint64_t>(5000000000ULL)
                               .put<uint64_t>(0)
                               .bytes());
}

TEST(ZipRecords, NewEntryHeadersUseZIP64FromFourGibibytesMinusOne) {
    struct Case {
        uint64_t size;
        uint16_t version;
        size_t extra;
    };
    for (const Case& c :
         {Case{0xFFFFFFFEULL, 20, 0}, Case{0xFFFFFFFFULL, 45, 20}, Case{1ULL << 32, 45, 20}}) {
        auto h = LocalFileHeader::forNewEntry({'f'}, 0, c.size, c.size, 0x11, 0, 0);
        EXPECT_EQ(h.versionNeededToExtract, c.version) << c.size;
        EXPECT_EQ(h.extraFieldLength, c.extra) << c.size;
        EXPECT_EQ(h.generalPurposeBitFlag, 0x0800);
        EXPECT_EQ(h.data().size(), 31 + c.extra);
        if (c.extra != 0) {
            EXPECT_EQ(h.uncompressedSize, 0xFFFFFFFFu);
            EXPECT_EQ(h.compressedSize, 0xFFFFFFFFu);
            ASSERT_EQ(h.extraFields.size(), 1u);
            EXPECT_EQ(h.extraFields[0].uncompressedSize, c.size);
            EXPECT_EQ(h.extraFields[0].dataSize, 16);
        } else {
            EXPECT_EQ(h.uncompressedSize, c.size);
        }
    }
}

TEST(ZipRecords, NewEntryCentralRecordCarriesLargeOffsets) {
    auto small = LocalFileHeader::forNewEntry({'a'}, 8, 10, 5, 1, 2, 3);
    auto r = CentralDirectoryStructure::forNewEntry(small, 0x81A40000, 1ULL << 32);
    EXPECT_EQ(r.relativeOffsetOfLocalHeader, 0xFFFFFFFFu);
    EXPECT_EQ(r.extraFieldLength, 12);
    EXPECT_EQ(r.effectiveRelativeOffsetOfLocalHeader(), 1ULL << 32);
    EXPECT_EQ(r.versionMadeBy, 0x0315);
    EXPECT_EQ(r.versionNeededToExtract, 20);
    EXPECT_EQ(parseWhole<CentralDirectoryStructure>(r.data()), r);

    auto big = LocalFileHeader::forNewEntry({'b'}, 0, 1ULL << 32, 1ULL << 32, 1, 2, 3);
    auto rb = CentralDirectoryStructure::forNewEntry(big, 0, 1ULL << 33);
    EXPECT_EQ(rb.extraFieldLength, 28);
    EXPECT_EQ(rb.effectiveUncompressedSize(), 1ULL << 32);
    EXPECT_EQ(rb.effectiveRelativeOffsetOfLocalHeader(), 1ULL << 33);
    EXPECT_EQ(rb.extraFieldData.size(), rb.extraFieldLength);
}

TEST(ZipRecords, RebuiltZIP64FieldCountsTheBytesItWrites) {
    ZIP64ExtendedInformation old;
    old.dataSize = 8;
    old.uncompressedSize = 5000000000ULL;  // only one size non-zero: both are written
    for (uint64_t offset : {uint64_t{100}, uint64_t{1} << 33}) {
        auto rebuilt = ZIP64ExtendedInformation::rebuilt(old, offset);
        ASSERT_TRUE(rebuilt);
        EXPECT_EQ(rebuilt->dataSize + 4u, rebuilt->data().size()) << offset;
    }
    EXPECT_FALSE(ZIP64ExtendedInformation::rebuilt(std::nullopt, 1ULL << 33));
    EXPECT_FALSE(ZIP64ExtendedInformation::rebuilt(ZIP64ExtendedInformation{}, 5));
}

TEST(ZipRecords, RebuiltCentralRecordStaysReadable) {
    // A record from another tool that defers only the uncompressed size, moved past 4 GiB.
    Bytes extra = LE().put<uint16_t>(1).put<uint16_t>(8).put<uint64_t>(6000000000ULL);
    auto r = parseWhole<CentralDirectoryStructure>(
        centralBytes(1000, 0xFFFFFFFF, 50, 0, "x", extra, ""));
    ASSERT_TRUE(r && r->zip64ExtendedInformation());
    const uint64_t offset = 1ULL << 33;
    auto moved = CentralDirectoryStructure::rebuilt(
        *r, ZIP64ExtendedInformation::rebuilt(r->zip64ExtendedInformation(), offset), 0xFFFFFFFF);
    auto reread = parseWhole<CentralDirectoryStructure>(moved.data());
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->effectiveUncompressedSize(), 6000000000ULL);
    EXPECT_EQ(reread->effectiveCompressedSize(), 1000u);
    EXPECT_EQ(reread->effectiveRelativeOffsetOfLocalHeader(), offset);
    EXPECT_GE(reread->versionNeededToExtract, 45);
    auto z = reread->zip64ExtendedInformation();
    EXPECT_EQ(z->dataSize + 4u, reread->extraFieldData.size());

    // Moving it back below 4 GiB keeps only the size in the field.
    auto back = CentralDirectoryStructure::rebuilt(
        *reread, ZIP64ExtendedInformation::rebuilt(reread->zip64ExtendedInformation(), 10), 10);
    auto again = parseWhole<CentralDirectoryStructure>(back.data());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->effectiveRelativeOffsetOfLocalHeader(), 10u);
    EXPECT_EQ(again->effectiveUncompressedSize(), 6000000000ULL);
}

TEST(ZipRecords, ScanValueReadsLittleEndianAndEmptyAsZero) {
    Bytes b = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    EXPECT_EQ(scanValue<uint16_t>(b, 0), 0x0201);
    EXPECT_EQ(scanValue<uint32_t>(b, 4), 0x08070605u);
    EXPECT_EQ(scanValue<uint64_t>(b, 0), 0x0807060504030201ULL);
    EXPECT_EQ(scanValue<uint32_t>(Bytes{}, 0), 0u);
}

}  // namespace
