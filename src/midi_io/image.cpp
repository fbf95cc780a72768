#include "midi_io/image.hpp"

#include <fstream>
#include <iterator>

namespace midiio {

namespace {

// Reads the header fields of a netpbm file: decimal numbers separated by white space and
// comments ("#" to the end of the line).
class HeaderReader {
  public:
    explicit HeaderReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    std::optional<uint32_t> number() {
        skipSpaceAndComments();
        uint64_t value = 0;
        size_t digits = 0;
        while (pos_ < bytes_.size() && bytes_[pos_] >= '0' && bytes_[pos_] <= '9') {
            value = value * 10 + (bytes_[pos_++] - '0');
            if (value > UINT32_MAX) return std::nullopt;
            ++digits;
        }
        if (digits == 0) return std::nullopt;
        return static_cast<uint32_t>(value);
    }
    // The single white-space byte that ends the header.
    bool endOfHeader() {
        if (pos_ >= bytes_.size() || !isSpace(bytes_[pos_])) return false;
        ++pos_;
        return true;
    }
    size_t position() const { return pos_; }

  private:
    static bool isSpace(uint8_t c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }
    void skipSpaceAndComments() {
        while (pos_ < bytes_.size()) {
            if (isSpace(bytes_[pos_])) {
                ++pos_;
            } else if (bytes_[pos_] == '#') {
                while (pos_ < bytes_.size() && bytes_[pos_] != '\n')
                    ++pos_;
            } else {
                break;
            }
        }
    }

    std::span<const uint8_t> bytes_;
    size_t pos_ = 2;  // after the magic number
};

}  // namespace

std::optional<MIDIImage> MIDIImage::decode(std::span<const uint8_t> bytes) {
    if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6'))
        return std::nullopt;
    const size_t channels = bytes[1] == '6' ? 3 : 1;
    HeaderReader header(bytes);
    const auto width = header.number();
    const auto height = header.number();
    const auto maxValue = header.number();
    if (!width || !height || !maxValue || *maxValue == 0 || *maxValue > 65535) return std::nullopt;
    if (*width == 0 || *height == 0) return std::nullopt;
    const uint64_t pixels = uint64_t{*width} * *height;
    if (pixels > maximumPixels || !header.endOfHeader()) return std::nullopt;
    const size_t sampleBytes = *maxValue > 255 ? 2 : 1;
    const size_t start = header.position();
    if (bytes.size() - start < pixels * channels * sampleBytes) return std::nullopt;

    MIDIImage image;
    image.width = *width;
    image.height = *height;
    image.rgba.resize(pixels * 4);
    const uint8_t* in = bytes.data() + start;
    for (uint64_t p = 0; p < pixels; ++p) {
        uint8_t sample[3];
        for (size_t c = 0; c < channels; ++c) {
            uint32_t v = *in++;
            if (sampleBytes == 2) v = (v << 8) | *in++;
            if (v > *maxValue) v = *maxValue;
            sample[c] = static_cast<uint8_t>((v * 255 + *maxValue / 2) / *maxValue);
        }
        uint8_t* out = &image.rgba[p * 4];
        out[0] = sample[0];
        out[1] = channels == 3 ? sample[1] : sample[0];
        out[2] = channels == 3 ? sample[2] : sample[0];
        out[3] = 255;
    }
    return image;
}

std::optional<MIDIImage> MIDIImage::load(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    // Room for the largest image with 16-bit colour samples and a generous header.
    constexpr uintmax_t largestFile = maximumPixels * 6 + (uintmax_t{1} << 20);
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > largestFile) return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    return decode(bytes);
}

}  // namespace midiio
