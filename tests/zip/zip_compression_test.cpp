// Raw DEFLATE loops, the pass-through loop, CRC-32 and stream pieces, checked against Python's
// zlib as the independent implementation.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "zip/compression.hpp"
#include "zip_test_support.hpp"

namespace {

using namespace zip;
using ziptest::Bytes;
using ziptest::ScratchDir;

DataProvider providerOver(const Bytes& source, std::vector<size_t>* requests = nullptr) {
    return [&source, requests](int64_t position, size_t count) {
        if (requests != nullptr) requests->push_back(count);
        auto begin = source.begin() + position;
        return Bytes(begin, begin + static_cast<std::ptrdiff_t>(count));
    };
}

DataConsumer appendTo(Bytes& sink) {
    return [&sink](ByteView piece) { sink.insert(sink.end(), piece.begin(), piece.end()); };
}

Bytes deflated(const Bytes& input, size_t bufferSize) {
    Bytes out;
    deflate(static_cast<int64_t>(input.size()), bufferSize, providerOver(input), appendTo(out));
    return out;
}

TEST(ZipCompression, DeflateThenInflateRoundTrips) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{40000}, size_t{10'000'000}}) {
        const Bytes input = ziptest::sampleBytes(size, static_cast<uint32_t>(size));
        const uint32_t expectedCRC = crc32(input);
        for (size_t bufferSize : {size_t{1}, size_t{16384}}) {
            Bytes compressed;
            uint32_t crcIn =
                deflate(static_cast<int64_t>(input.size()), bufferSize, providerOver(input),
                        [&](ByteView piece) {
                            EXPECT_LE(piece.size(), bufferSize);
                            compressed.insert(compressed.end(), piece.begin(), piece.end());
                        });
            Bytes output;
            uint32_t crcOut = inflate(static_cast<int64_t>(compressed.size()), bufferSize, false,
                                      providerOver(compressed), [&](ByteView piece) {
                                          EXPECT_LE(piece.size(), bufferSize);
                                          output.insert(output.end(), piece.begin(), piece.end());
                                      });
            EXPECT_TRUE(output == input) << size << " bytes, buffer " << bufferSize;
            EXPECT_EQ(crcIn, expectedCRC);
            EXPECT_EQ(crcOut, expectedCRC);
            EXPECT_EQ(inflate(static_cast<int64_t>(compressed.size()), bufferSize, true,
                              providerOver(compressed), [](ByteView) {}),
                      0u);
            if (size == 10'000'000) break;  // one buffer size is enough for the large input
        }
    }
}

TEST(ZipCompression, InteroperatesWithPythonZlib) {
    ScratchDir dir;
    const Bytes input = ziptest::sampleBytes(300000, 7);
    ziptest::writeFile(dir / "plain", input);
    ziptest::writeFile(dir / "ours", deflated(input, 16384));
    std::string report = ziptest::python(dir, R"(
import zlib, os
d = os.path.dirname(os.path.abspath(__file__))
plain = open(os.path.join(d, 'plain'), 'rb').read()
c = zlib.compressobj(9, zlib.DEFLATED, -15)
open(os.path.join(d, 'theirs'), 'wb').write(c.compress(plain) + c.flush())
ours = zlib.decompress(open(os.path.join(d, 'ours'), 'rb').read(), -15)
print(ours == plain, zlib.crc32(plain), zlib.crc32(b''), zlib.crc32(b'123456789'))
)");
    Bytes theirs = ziptest::readFile(dir / "theirs");
    Bytes output;
    uint32_t crc = inflate(static_cast<int64_t>(theirs.size()), 16384, false, providerOver(theirs),
                           appendTo(output));
    EXPECT_TRUE(output == input);
    const std::string digits = "123456789";
    const std::string expected = "True " + std::to_string(crc) + " 0 " +
                                 std::to_string(crc32(Bytes(digits.begin(), digits.end()))) + "\n";
    EXPECT_EQ(report, expected);
    EXPECT_EQ(crc32(Bytes(digits.begin(), digits.end())), 0xCBF43926u);  // the standard check value
}

// The checksum is computed in blocks where the processor allows: it must agree with zlib's for
// every length around the block sizes, at every alignment, continued from any value, and when a
// buffer is checksummed in two parts.
TEST(ZipCompression, ChecksumsAgreeWithZlibAtEveryLengthAndAlignment) {
    std::mt19937 rng(11);
    Bytes data(300000);
    for (auto& byte : data)
        byte = static_cast<uint8_t>(rng());
    auto zlibCRC = [](ByteView bytes, uint32_t crc) {
        return static_cast<uint32_t>(::crc32_z(crc, bytes.data(), bytes.size()));
    };
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 300; ++n)
        lengths.push_back(n);
    for (size_t n : {1023u, 1024u, 1025u, 16383u, 16384u, 16385u, 65599u, 262144u, 299984u})
        lengths.push_back(n);
    size_t checked = 0;
    for (size_t length : lengths) {
        for (size_t offset = 0; offset < 16; ++offset) {
            const ByteView bytes(data.data() + offset, length);
            const uint32_t start = offset % 3 == 0 ? 0 : static_cast<uint32_t>(rng());
            ASSERT_EQ(crc32(bytes, start), zlibCRC(bytes, start))
                << "length " << length << ", offset " << offset;
            const size_t cut = length / 3;
            ASSERT_EQ(crc32(bytes.subspan(cut), crc32(bytes.first(cut), start)),
                      zlibCRC(bytes, start))
                << "length " << length << " in two parts";
            ++checked;
        }
    }
    EXPECT_EQ(checked, lengths.size() * 16);
}

TEST(ZipCompression, BadInputEndsInCorruptedData) {
    const Bytes good = deflated(ziptest::sampleBytes(50000), 16384);
    struct Case {
        const char* name;
        Bytes input;
    };
    const std::vector<Case> cases = {
        {"empty", {}},
        {"truncated",
         Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2))},
        {"one byte short", Bytes(good.begin(), good.end() - 1)},
        {"garbage", Bytes(1000, 0xFF)},
        {"reserved block type", {0x07, 0x00}},
        {"stored block length mismatch", {0x01, 0x05, 0x00, 0x00, 0x00}},
    };
    for (const auto& c : cases) {
        for (size_t bufferSize : {size_t{1}, size_t{16384}}) {
            try {
                inflate(static_cast<int64_t>(c.input.size()), bufferSize, false,
                        providerOver(c.input), [](ByteView) {});
                ADD_FAILURE() << c.name << " inflated";
            } catch (const CompressionError& e) {
                EXPECT_EQ(e.errorCase(), CompressionError::Case::corruptedData) << c.name;
            }
        }
    }
}

TEST(ZipCompression, ProviderDeliveringLessThanAskedIsAnError) {
    auto shortProvider = [](int64_t, size_t count) { return Bytes(count / 2, 'x'); };
    EXPECT_THROW(passThrough(100, 16, false, shortProvider, [](ByteView) {}), DataError);
    EXPECT_THROW(deflate(100, 16, shortProvider, [](ByteView) {}), DataError);
    EXPECT_THROW(inflate(100, 16, false, shortProvider, [](ByteView) {}), DataError);
}

TEST(ZipCompression, PiecesFollowTheBufferSize) {
    const Bytes input = ziptest::sampleBytes(40000);
    std::vector<size_t> requests;
    std::vector<size_t> delivered;
    uint32_t crc = passThrough(40000, 16384, false, providerOver(input, &requests),
                               [&](ByteView piece) { delivered.push_back(piece.size()); });
    EXPECT_EQ(requests, (std::vector<size_t>{16384, 16384, 7232}));
    EXPECT_EQ(delivered, requests);
    EXPECT_EQ(crc, crc32(input));

    delivered.clear();
    EXPECT_EQ(passThrough(0, 16384, false, providerOver(input),
                          [&](ByteView p) { delivered.push_back(p.size()); }),
              0u);
    EXPECT_EQ(delivered, std::vector<size_t>{0});

    requests.clear();
    deflate(40000, 16384, providerOver(input, &requests), [](ByteView) {});
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(std::vector<size_t>(requests.begin(), requests.begin() + 3),
              (std::vector<size_t>{16384, 16384, 7232}));
    for (size_t i = 3; i < requests.size(); ++i)
        EXPECT_EQ(requests[i], 0u);

    Bytes empty;
    EXPECT_EQ(deflate(0, 16384, providerOver(empty), appendTo(empty)), 0u);
    EXPECT_FALSE(empty.empty());  // the end-of-stream block
}

TEST(ZipCompression, MethodsFromRawValues) {
    EXPECT_EQ(compressionMethod(8), CompressionMethod::deflate);
    EXPECT_EQ(compressionMethod(0), CompressionMethod::none);
    EXPECT_FALSE(compressionMethod(12));
}

TEST(ZipCompression, StreamPieces) {
    ScratchDir dir;
    ziptest::writeFile(dir / "f", std::string(130, 'a'));
    FILE* f = std::fopen((dir / "f").c_str(), "rb+");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 100, SEEK_SET);
    EXPECT_EQ(readChunk(100, f).size(), 30u);
    EXPECT_TRUE(readChunk(100, f).empty());
    std::fseek(f, 0, SEEK_END);
    EXPECT_EQ(writeChunk(Bytes{}, f), 0u);
    const Bytes tail(50, 'b');
    EXPECT_EQ(writeChunkInPieces(tail, 50, 7, f), 50u);
    std::fclose(f);
    EXPECT_EQ(ziptest::readFile(dir / "f").size(), 180u);

    FILE* ro = std::fopen((dir / "f").c_str(), "rb");
    EXPECT_THROW(writeChunk(Bytes{1, 2, 3}, ro), DataError);
    std::fclose(ro);
}

}  // namespace
