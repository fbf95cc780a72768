// Drives the byte reader through operation sequences, and the text decoders through arbitrary
// bytes, checking their promises along the way.
//
// Input: the first byte picks the mode. Mode 0: the rest is text input for the non-lossy ASCII
// decoder, its fallback chain and the lossy ASCII form. Mode 1: the next byte is a buffer length
// L, the next L bytes are the buffer, and each byte after them is one reader operation, some
// followed by their operand bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "midi_support/data_reader.hpp"
#include "midi_support/text_encoding.hpp"

using midisupport::PassiveDataReader;

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

void fuzzText(std::span<const uint8_t> bytes) {
    const auto decoded = midisupport::nonLossyASCIIString(bytes);
    const std::string withFallback = midisupport::nonLossyASCIIStringWithFallback(bytes);
    if (decoded) {
        check(withFallback == *decoded);
        const auto encoded = midisupport::nonLossyASCIIData(*decoded);
        for (uint8_t b : encoded)
            check(b < 0x80);
        check(midisupport::nonLossyASCIIString(encoded) == decoded);
    }

    // The same bytes taken as text: when they are well-formed UTF-8 they must round-trip.
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (midisupport::toData(text, midisupport::StringEncoding::utf8)) {
        check(midisupport::nonLossyASCIIString(midisupport::nonLossyASCIIData(text)) == text);
    }

    const std::string ascii = midisupport::asciiStringLossy(text);
    const bool allASCII = std::all_of(text.begin(), text.end(),
                                      [](char c) { return static_cast<uint8_t>(c) < 0x80; });
    if (allASCII) {
        check(ascii == text);
    } else {
        for (char c : ascii)
            check(c >= 0x20 && c <= 0x7E);
    }
}

class Operands {
  public:
    explicit Operands(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool empty() const { return at_ >= bytes_.size(); }
    uint8_t byte() { return empty() ? 0 : bytes_[at_++]; }
    int64_t wide() {
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i)
            value = (value << 8) | byte();
        int64_t signedValue;
        std::memcpy(&signedValue, &value, sizeof value);
        return signedValue;
    }

  private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

// A count operand: small signed values mostly, a full 64-bit one for 0x80.
std::optional<int64_t> countOperand(Operands& operands) {
    const auto small = static_cast<int8_t>(operands.byte());
    if (small == -128) return operands.wide();
    if (small == 127) return std::nullopt;
    return small;
}

void checkSlice(std::span<const uint8_t> buffer, std::span<const uint8_t> slice, int64_t offset) {
    if (slice.empty()) return;
    check(offset >= 0 && static_cast<uint64_t>(offset) + slice.size() <= buffer.size());
    check(slice.data() == buffer.data() + offset);
}

void fuzzReader(std::span<const uint8_t> input) {
    if (input.empty()) return;
    const size_t length = std::min<size_t>(input[0], input.size() - 1);
    const auto buffer = input.subspan(1, length);
    Operands operands(input.subspan(1 + length));
    PassiveDataReader reader(buffer);
    while (!operands.empty()) {
        const uint8_t operation = operands.byte() % 8;
        const int64_t before = reader.readOffset();
        try {
            switch (operation) {
                case 0: {
                    const uint8_t b = reader.readByte();
                    check(buffer[static_cast<size_t>(before)] == b);
                    check(reader.readOffset() == before + 1);
                    break;
                }
                case 1: {
                    const uint8_t b = reader.nonAdvancingReadByte();
                    check(buffer[static_cast<size_t>(before)] == b);
                    check(reader.readOffset() == before);
                    break;
                }
                case 2: {
                    const auto slice = reader.read(countOperand(operands));
                    checkSlice(buffer, slice, before);
                    check(reader.readOffset() == before + static_cast<int64_t>(slice.size()));
                    break;
                }
                case 3: {
                    const auto read = reader.nonAdvancingRead(countOperand(operands));
                    checkSlice(buffer, read.data, before);
                    check(read.advanceCount == static_cast<int64_t>(read.data.size()));
                    check(reader.readOffset() == before);
                    break;
                }
                case 4:
                    reader.advanceBy(static_cast<int8_t>(operands.byte()));
                    break;
                case 5:
                    reader.advanceBy(operands.wide());
                    break;
                case 6:
                    reader.reset();
                    break;
                case 7: {
                    const int64_t remaining = reader.remainingByteCount();
                    check(remaining >= 0 || before > static_cast<int64_t>(buffer.size()));
                    break;
                }
            }
        } catch (const PassiveDataReader::ReadError&) {
            // A refused operation leaves the offset where it was.
            check(reader.readOffset() == before);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::span<const uint8_t> rest(data + 1, size - 1);
    if ((data[0] & 1) == 0) {
        fuzzText(rest);
    } else {
        fuzzReader(rest);
    }
    return 0;
}
