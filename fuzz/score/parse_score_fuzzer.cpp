// Arbitrary bytes through the loading of a plain score file and the MusicXML walk: the bytes are
// decoded as a plain file is (UTF-8, UTF-16 after a byte-order mark, or ISO-8859-1 where the
// declaration names it); bytes that decoding refuses are walked as they stand, so that the walk
// still sees them. The walk either converts, or refuses with a JpsConversionError; any other
// exception escapes and is reported. A converted piece is also encoded, which may only fail with a
// JSONEncodingError (a bpm beyond 32 bits, from a tempo near the largest float over a bar far
// shorter than a quarter).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "score/json.hpp"
#include "score/musicxml_converter.hpp"
#include "text_decoding.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto decoded = score::detail::decodePlainScore(std::string(bytes));
    score::JpsMusicXmlConverter converter;
    try {
        converter.parseScore(decoded.firstInvalidByte ? bytes : std::string_view(decoded.text));
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
