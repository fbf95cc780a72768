// The encoded form of a timecode: one keyed record of ten entries, written through any JSON-style
// writer (beginObject/key/value/beginArray/endArray/endObject, as the project's JSON writer has)
// and read back from JSON text by a small reader of our own.
//
//     score::JSONWriter w;            // or any writer of that shape
//     encode(timecode, w);
//     Timecode back = decodeTimecode(w.finish());
//
// Decoding stores the values as they are, without validating them against the rate.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "timecode/legacy.hpp"
#include "timecode/timecode.hpp"

namespace timecode {

class TimecodeDecodingError : public std::runtime_error {
  public:
    enum class Case { typeMismatch, valueNotFound, keyNotFound, dataCorrupted };
    TimecodeDecodingError(Case c, const std::string& message) : std::runtime_error(message), case_(c) {}
    Case errorCase() const { return case_; }

  private:
    Case case_;
};

// The ten keys, in the order they are written.
inline constexpr std::array<std::string_view, 10> timecodeCodingKeys{
    "frameRate", "upperLimit", "subFramesBase", "stringFormat", "days",
    "hours",     "minutes",    "seconds",       "frames",       "subFrames"};

template <class Writer>
void encode(const Timecode& t, Writer& w) {
    w.beginObject();
    w.key("frameRate");
    w.value(t.frameRate.rawValue());
    w.key("upperLimit");
    w.value(rawValue(t.upperLimit));
    w.key("subFramesBase");
    w.value(static_cast<int64_t>(rawValue(t.subFramesBase)));
    w.key("stringFormat");
    w.beginArray();
    for (auto p : allStringFormatParameters)
        if (t.stringFormat.contains(p)) w.value(rawValue(p));
    w.endArray();
    const int64_t numbers[] = {t.days, t.hours, t.minutes, t.seconds, t.frames, t.subFrames};
    for (size_t i = 0; i < 6; ++i) {
        w.key(timecodeCodingKeys[4 + i]);
        w.value(numbers[i]);
    }
    w.endObject();
}

// A parsed JSON value of the small reader.
struct JSONValue {
    using Array = std::vector<JSONValue>;
    using Object = std::vector<std::pair<std::string, JSONValue>>;  // in document order
    std::variant<std::nullptr_t, bool, int64_t, double, std::string, std::shared_ptr<Array>, std::shared_ptr<Object>>
        value;
    const JSONValue* member(std::string_view key) const;  // the first member of that name, if an object
};

// Parses one JSON document (nesting at most 64 deep, integers within 64 bits, strings UTF-8).
// Throws TimecodeDecodingError (dataCorrupted) for anything else.
JSONValue parseJSON(std::string_view text);

// The value forms of the settings. Throw TimecodeDecodingError: typeMismatch for a value of the
// wrong form, dataCorrupted for a value that is no raw value (valueNotFound with "Decoded value is
// not valid." for the string-format parameter).
TimecodeFrameRate decodeFrameRate(const JSONValue& v);
LegacyFrameRate decodeLegacyFrameRate(const JSONValue& v);
UpperLimit decodeUpperLimit(const JSONValue& v);
SubFramesBase decodeSubFramesBase(const JSONValue& v);
StringFormatParameter decodeStringFormatParameter(const JSONValue& v);
Timecode decodeTimecode(const JSONValue& v);
Timecode decodeTimecode(std::string_view json);

}  // namespace timecode
