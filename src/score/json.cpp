#include "score/json.hpp"

#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

#include "textservices/unicode.hpp"

namespace score {

namespace {

constexpr const char* hexDigits = "0123456789abcdef";

}  // namespace

void JSONWriter::newline(size_t depth) {
    out_ += '\n';
    out_.append(depth * 2, ' ');
}

std::string JSONWriter::path() const {
    std::string p;
    for (const auto& level : levels_) {
        if (level.isObject) {
            if (!level.hasKey) break;
            if (!p.empty()) p += '.';
            p += level.key;
        } else {
            p += '[' + std::to_string(level.count == 0 ? 0 : level.count - 1) + ']';
        }
    }
    return p.empty() ? "the top level" : p;
}

void JSONWriter::fail(JSONEncodingError::Case errorCase, const std::string& what) const {
    throw JSONEncodingError(errorCase, what);
}

void JSONWriter::beforeValue() {
    if (done_)
        fail(JSONEncodingError::Case::invalidStructure, "A JSON document holds one value only.");
    if (levels_.empty()) return;
    auto& level = levels_.back();
    if (level.isObject) {
        if (!level.hasKey)
            fail(JSONEncodingError::Case::invalidStructure,
                 "A value inside a JSON object needs a key before it.");
        return;  // key() wrote the separator and the key already
    }
    if (level.count > 0) out_ += ',';
    newline(levels_.size());
    ++level.count;
}

void JSONWriter::key(std::string_view name) {
    if (levels_.empty() || !levels_.back().isObject || levels_.back().hasKey)
        fail(JSONEncodingError::Case::invalidStructure,
             "A JSON key may only stand inside an object, before its value.");
    auto& level = levels_.back();
    if (level.count > 0) out_ += ',';
    newline(levels_.size());
    ++level.count;
    writeString(name);
    out_ += " : ";
    level.key = std::string(name);
    level.hasKey = true;
}

void JSONWriter::afterValue() {
    if (levels_.empty())
        done_ = true;
    else if (levels_.back().isObject)
        levels_.back().hasKey = false;
}

void JSONWriter::open(char bracket, bool isObject) {
    beforeValue();
    out_ += bracket;
    levels_.push_back(Level{isObject, 0, {}, false});
}

void JSONWriter::close(char bracket, bool isObject) {
    if (levels_.empty() || levels_.back().isObject != isObject ||
        (isObject && levels_.back().hasKey))
        fail(JSONEncodingError::Case::invalidStructure,
             std::string("Unbalanced '") + bracket + "' in the JSON document.");
    const bool empty = levels_.back().count == 0;
    levels_.pop_back();
    if (!empty) newline(levels_.size());
    out_ += bracket;
    afterValue();
}

void JSONWriter::beginObject() {
    open('{', true);
}
void JSONWriter::endObject() {
    close('}', true);
}
void JSONWriter::beginArray() {
    open('[', false);
}
void JSONWriter::endArray() {
    close(']', false);
}

void JSONWriter::value(int64_t number) {
    beforeValue();
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    out_.append(buffer, result.ptr);
    afterValue();
}

void JSONWriter::value(float number) {
    if (!std::isfinite(number)) {
        const char* name = std::isnan(number) ? "NaN" : (number > 0 ? "infinity" : "-infinity");
        fail(JSONEncodingError::Case::invalidValue,
             std::string("The value ") + name + " at " + path() + " has no JSON form.");
    }
    beforeValue();
    // The shortest text that reads back as the same float; whole values carry no fraction.
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    out_.append(buffer, result.ptr);
    afterValue();
}

void JSONWriter::value(std::string_view text) {
    beforeValue();
    writeString(text);
    afterValue();
}

void JSONWriter::writeString(std::string_view text) {
    // Escaped into a buffer first, so that a refused text leaves no half-written string behind.
    std::string escaped;
    escaped.reserve(text.size() + 2);
    escaped += '"';
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const auto step = textservices::nextScalar(text, i);
            if (!step.wellFormed())
                fail(JSONEncodingError::Case::invalidValue, "The text at " + path() +
                                                                " is not valid UTF-8 (byte " +
                                                                std::to_string(i) + ").");
            escaped.append(text.substr(i, step.length));
            i += step.length;
            continue;
        }
        switch (c) {
            case '"':
                escaped += "\\\"";
                break;
            case '\\':
                escaped += "\\\\";
                break;
            case '\b':
                escaped += "\\b";
                break;
            case '\f':
                escaped += "\\f";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            case '\t':
                escaped += "\\t";
                break;
            default:
                if (c < 0x20) {
                    escaped += "\\u00";
                    escaped += hexDigits[c >> 4];
                    escaped += hexDigits[c & 0xF];
                } else {
                    escaped += static_cast<char>(c);
                }
        }
        ++i;
    }
    escaped += '"';
    out_ += escaped;
}

std::string JSONWriter::finish() {
    if (!done_ || !levels_.empty())
        fail(JSONEncodingError::Case::invalidStructure, "The JSON document is incomplete.");
    done_ = false;
    return std::exchange(out_, {});
}

}  // namespace score
