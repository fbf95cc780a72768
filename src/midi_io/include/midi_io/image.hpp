// A small image type of this library for device images: 8-bit RGBA pixels, read from the
// binary portable pixmap and graymap formats (PPM "P6", PGM "P5").
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace midiio {

struct MIDIImage {
    uint32_t width = 0;
    uint32_t height = 0;
    // Rows top to bottom, each pixel R, G, B, A.
    std::vector<uint8_t> rgba;

    // The largest width × height accepted, so that a forged header cannot ask for gigabytes.
    static constexpr uint64_t maximumPixels = uint64_t{1} << 24;

    // The image in `bytes`; none when they are not a complete P5 or P6 image (any maximum sample
    // value 1 ... 65535; 16-bit samples are scaled to 8 bits) or the image is larger than
    // maximumPixels. Trailing bytes after the pixels are ignored.
    static std::optional<MIDIImage> decode(std::span<const uint8_t> bytes);
    // The image in the file at `path`; none when it cannot be read or decoded.
    static std::optional<MIDIImage> load(const std::filesystem::path& path);

    friend bool operator==(const MIDIImage&, const MIDIImage&) = default;
};

}  // namespace midiio
