#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "midi_support/data_reader.hpp"

using midisupport::PassiveDataReader;
using midisupport::withDataReader;
using Case = PassiveDataReader::ReadError::Case;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes toBytes(std::span<const uint8_t> span) {
    return Bytes(span.begin(), span.end());
}

// Runs `read`, expecting it to throw `expected`, and checks that the offset did not move.
template <class Read>
void expectFailure(PassiveDataReader& reader, Case expected, Read read) {
    const int64_t offset = reader.readOffset();
    try {
        read();
        ADD_FAILURE() << "no error at offset " << offset;
    } catch (const PassiveDataReader::ReadError& e) {
        EXPECT_EQ(e.errorCase(), expected) << e.what();
        EXPECT_NE(std::string(e.what()), "");
    }
    EXPECT_EQ(reader.readOffset(), offset);
}

// Every kind of read at the reader's current position must fail with `expected` (reads of
// all that remains, of one byte, and of `count` bytes) and leave the offset alone.
void expectAllReadsFail(PassiveDataReader& reader, Case expected, int64_t count = 1) {
    expectFailure(reader, expected, [&] { reader.readByte(); });
    expectFailure(reader, expected, [&] { reader.nonAdvancingReadByte(); });
    expectFailure(reader, expected, [&] { reader.read(count); });
    expectFailure(reader, expected, [&] { reader.nonAdvancingRead(count); });
    expectFailure(reader, expected, [&] { reader.read(); });
    expectFailure(reader, expected, [&] { reader.nonAdvancingRead(); });
}

TEST(PassiveDataReader, ReadsInOrderAndStopsAtTheEnd) {
    const Bytes data = {0x4D, 0x54, 0x68};
    withDataReader(data, [&](PassiveDataReader& reader) {
        EXPECT_EQ(toBytes(reader.read(3)), data);
        EXPECT_EQ(reader.remainingByteCount(), 0);
        expectAllReadsFail(reader, Case::pastEndOfStream);
        // An explicit count of 0 succeeds even at the end.
        EXPECT_TRUE(reader.read(0).empty());
        EXPECT_EQ(reader.nonAdvancingRead(0).advanceCount, 0);
        reader.reset();
        EXPECT_EQ(reader.nonAdvancingReadByte(), 0x4D);
        EXPECT_EQ(reader.readByte(), 0x4D);
        const auto peek = reader.nonAdvancingRead();
        EXPECT_EQ(toBytes(peek.data), (Bytes{0x54, 0x68}));
        EXPECT_EQ(peek.advanceCount, 2);
        EXPECT_EQ(reader.readOffset(), 1);
        EXPECT_EQ(toBytes(reader.read()), (Bytes{0x54, 0x68}));
        EXPECT_EQ(reader.readOffset(), 3);
    });
}

TEST(PassiveDataReader, CountsBeyondWhatRemains) {
    const Bytes data = {1, 2, 3, 4};
    PassiveDataReader reader(data);
    reader.readByte();
    expectFailure(reader, Case::pastEndOfStream, [&] { reader.read(4); });
    expectFailure(reader, Case::pastEndOfStream,
                  [&] { reader.read(std::numeric_limits<int64_t>::max()); });
    for (int64_t negative : {int64_t{-1}, std::numeric_limits<int64_t>::min()}) {
        expectFailure(reader, Case::invalidByteCount, [&] { reader.read(negative); });
        expectFailure(reader, Case::invalidByteCount, [&] { reader.nonAdvancingRead(negative); });
    }
    const Bytes empty;
    PassiveDataReader emptyReader(empty);
    expectFailure(emptyReader, Case::invalidByteCount, [&] { emptyReader.read(-1); });
    expectAllReadsFail(emptyReader, Case::pastEndOfStream);
}

TEST(PassiveDataReader, OffsetPastTheEnd) {
    const Bytes data = {1, 2, 3, 4};
    PassiveDataReader reader(data);
    reader.advanceBy(10);
    EXPECT_EQ(reader.remainingByteCount(), -6);
    expectAllReadsFail(reader, Case::pastEndOfStream);
    EXPECT_TRUE(reader.read(0).empty());
    reader.advanceBy(-9);
    EXPECT_EQ(reader.readByte(), 2);
}

TEST(PassiveDataReader, OffsetBeforeTheStartThrowsInsteadOfReading) {
    const Bytes data = {1, 2, 3, 4};
    PassiveDataReader reader(data);
    for (int64_t back : {int64_t{-1}, int64_t{-4}, int64_t{-100}}) {
        reader.reset();
        reader.advanceBy(back);
        EXPECT_EQ(reader.remainingByteCount(), 4 - back);
        expectAllReadsFail(reader, Case::pastEndOfStream, 1);
        expectFailure(reader, Case::pastEndOfStream, [&] { reader.read(-back); });
    }
}

TEST(PassiveDataReader, OffsetOverflowThrowsAndLeavesTheOffset) {
    constexpr auto max = std::numeric_limits<int64_t>::max();
    constexpr auto min = std::numeric_limits<int64_t>::min();
    const Bytes data = {1, 2};
    PassiveDataReader reader(data);
    reader.advanceBy(max);
    expectFailure(reader, Case::pastEndOfStream, [&] { reader.advanceBy(1); });
    EXPECT_EQ(reader.readOffset(), max);
    expectAllReadsFail(reader, Case::pastEndOfStream, 2);

    reader.reset();
    reader.advanceBy(-1);
    expectFailure(reader, Case::pastEndOfStream, [&] { reader.advanceBy(min); });
    reader.advanceBy(min + 1);
    EXPECT_EQ(reader.readOffset(), min);
    // The remaining count has no 64-bit value here; it saturates and reads still fail.
    EXPECT_EQ(reader.remainingByteCount(), max);
    expectAllReadsFail(reader, Case::pastEndOfStream, max);
}

TEST(PassiveDataReader, SliceReadsKeepTheirPlaceInTheBuffer) {
    const Bytes whole = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
    const std::span<const uint8_t> slice = std::span(whole).subspan(2, 3);
    PassiveDataReader reader(slice);
    reader.advanceBy(1);
    const auto read = reader.read(2);
    EXPECT_EQ(toBytes(read), (Bytes{0xA3, 0xA4}));
    EXPECT_EQ(read.data(), whole.data() + 3);  // a view into the buffer, not a copy
    expectAllReadsFail(reader, Case::pastEndOfStream);
}

TEST(PassiveDataReader, WithDataReaderPassesResultsAndErrorsThrough) {
    const Bytes data = {0x00, 0x06};
    EXPECT_EQ(
        withDataReader(data, [](PassiveDataReader& r) { return r.readByte() + r.readByte(); }), 6);
    EXPECT_THROW(withDataReader(data,
                                [](PassiveDataReader& r) {
                                    r.read(3);
                                    return 0;
                                }),
                 PassiveDataReader::ReadError);
    struct Custom {};
    EXPECT_THROW(withDataReader(data, [](PassiveDataReader&) -> int { throw Custom{}; }), Custom);
}

}  // namespace
