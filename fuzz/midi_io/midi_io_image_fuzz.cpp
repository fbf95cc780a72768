// Arbitrary bytes as a device image file. A decoded image must hold exactly width × height RGBA
// pixels within the size limit, every alpha opaque.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "midi_io/image.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto image = midiio::MIDIImage::decode({data, size});
    if (!image) return 0;
    const uint64_t pixels = uint64_t{image->width} * image->height;
    if (pixels == 0 || pixels > midiio::MIDIImage::maximumPixels) std::abort();
    if (image->rgba.size() != pixels * 4) std::abort();
    for (size_t i = 3; i < image->rgba.size(); i += 4)
        if (image->rgba[i] != 255) std::abort();
    return 0;
}
