// Drives the timecode text parser, the text formatter's edit check and the encoded-form reader
// with arbitrary text, checking their promises: only the typed errors are thrown, a parsed text
// prints and parses back to the same components, an accepted edit is left as typed, a replaced
// edit is accepted as it now stands, and a decoded record encodes back to an equal record.
//
// Input: byte 0 picks the rate, byte 1 the settings; the rest is the text.

#include <cstddef>
#include <cstdint>
#include <string>

#include "timecode/encoding.hpp"
#include "timecode/text_formatter.hpp"

using namespace timecode;

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

// A minimal writer of the shape encode() expects, producing JSON text.
class Writer {
  public:
    void beginObject() { open('{'); }
    void endObject() { close('}'); }
    void beginArray() { open('['); }
    void endArray() { close(']'); }
    void key(std::string_view k) {
        comma();
        quoted(k);
        out += ':';
        afterKey = true;
    }
    void value(std::string_view s) {
        comma();
        quoted(s);
    }
    void value(int64_t n) {
        comma();
        out += std::to_string(n);
    }
    std::string out;

  private:
    void comma() {
        if (!afterKey && needComma) out += ',';
        afterKey = false;
        needComma = true;
    }
    void open(char c) {
        comma();
        out += c;
        needComma = false;
    }
    void close(char c) {
        out += c;
        needComma = true;
    }
    void quoted(std::string_view s) {
        out += '"';
        for (char c : s) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        out += '"';
    }
    bool needComma = false;
    bool afterKey = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const auto rate = TimecodeFrameRate::allCases()[data[0] % TimecodeFrameRate::caseCount];
    const auto limit = allUpperLimits[data[1] & 1];
    const auto base = allSubFramesBases[(data[1] >> 1) % 3];
    StringFormat format;
    format.setShowSubFrames((data[1] & 8) != 0);
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

    try {
        const Components c = Timecode::parseComponents(text);
        Timecode t = Timecode::rawValues(c, rate, limit, base, StringFormat{StringFormatParameter::showSubFrames});
        check(Timecode::parseComponents(t.stringValue()) == c || c.d < 0);
        check(t.attributedStringValue().string() == t.stringValue());
    } catch (const TimecodeStringParseError&) {
    }
    try {
        (void)Timecode::fromString(text, rate, limit, base, format);
    } catch (const TimecodeStringParseError&) {
    } catch (const TimecodeValidationError&) {
    }

    TimecodeTextFormatter formatter(rate, limit, format, base, (data[1] & 16) != 0);
    (void)formatter.string(text);
    (void)formatter.attributedString(text, std::nullopt);
    std::string edit = text, error;
    if (formatter.isPartialStringValid(edit, &error)) {
        check(edit == text);
    } else if (edit != text) {
        std::string again = edit;
        check(formatter.isPartialStringValid(again, nullptr));
        check(again == edit);
    }

    try {
        const Timecode decoded = decodeTimecode(text);
        Writer w;
        encode(decoded, w);
        const Timecode back = decodeTimecode(w.out);
        check(back.components() == decoded.components() && back.frameRate == decoded.frameRate &&
              back.upperLimit == decoded.upperLimit && back.subFramesBase == decoded.subFramesBase &&
              back.stringFormat == decoded.stringFormat);
    } catch (const TimecodeDecodingError&) {
    }
    return 0;
}
