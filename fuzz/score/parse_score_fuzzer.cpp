// Arbitrary text through the MusicXML walk: it either converts, or refuses with a
// JpsConversionError; any other exception escapes and is reported. A converted piece is also
// encoded, which may only fail with a JSONEncodingError (an infinite bpm).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "score/json.hpp"
#include "score/musicxml_converter.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    score::JpsMusicXmlConverter converter;
    try {
        converter.parseScore(text);
    } catch (const score::JpsConversionError&) {
        return 0;
    }
    const score::JPSData piece(
        std::make_shared<score::JPSInfo>(converter.beatsPerMeasure, converter.beatType),
        converter.noteObjects, converter.tempoObjects, converter.dynamicsObjects, {});
    try {
        (void)piece.json();
    } catch (const score::JSONEncodingError&) {}
    return 0;
}
