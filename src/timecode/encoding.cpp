#include "timecode/encoding.hpp"

#include <charconv>

namespace timecode {

namespace {

using Case = TimecodeDecodingError::Case;

[[noreturn]] void fail(Case c, const std::string& message) { throw TimecodeDecodingError(c, message); }

class Reader {
  public:
    explicit Reader(std::string_view text) : text_(text) {}

    JSONValue document() {
        JSONValue v = value(0);
        skipSpace();
        if (at_ != text_.size()) corrupt("text after the JSON value");
        return v;
    }

  private:
    static constexpr int maxDepth = 64;

    [[noreturn]] void corrupt(const std::string& what) const {
        fail(Case::dataCorrupted, "The given data was not valid JSON: " + what + " at offset " + std::to_string(at_) + ".");
    }
    void skipSpace() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }
    bool consume(char c) {
        skipSpace();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    void expect(char c) {
        if (!consume(c)) corrupt(std::string("expected '") + c + "'");
    }
    bool literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    JSONValue value(int depth) {
        if (depth > maxDepth) corrupt("nesting too deep");
        skipSpace();
        if (at_ >= text_.size()) corrupt("unexpected end");
        const char c = text_[at_];
        if (c == '{') return object(depth);
        if (c == '[') return array(depth);
        if (c == '"') return JSONValue{string()};
        if (literal("true")) return JSONValue{true};
        if (literal("false")) return JSONValue{false};
        if (literal("null")) return JSONValue{nullptr};
        return number();
    }

    JSONValue object(int depth) {
        ++at_;
        auto members = std::make_shared<JSONValue::Object>();
        if (!consume('}')) {
            do {
                skipSpace();
                if (at_ >= text_.size() || text_[at_] != '"') corrupt("expected a key");
                std::string key = string();
                expect(':');
                members->emplace_back(std::move(key), value(depth + 1));
            } while (consume(','));
            expect('}');
        }
        return JSONValue{members};
    }

    JSONValue array(int depth) {
        ++at_;
        auto elements = std::make_shared<JSONValue::Array>();
        if (!consume(']')) {
            do elements->push_back(value(depth + 1));
            while (consume(','));
            expect(']');
        }
        return JSONValue{elements};
    }

    unsigned hex4() {
        if (at_ + 4 > text_.size()) corrupt("short \\u escape");
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = text_[at_++];
            v <<= 4;
            if (h >= '0' && h <= '9') v |= static_cast<unsigned>(h - '0');
            else if (h >= 'a' && h <= 'f') v |= static_cast<unsigned>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F') v |= static_cast<unsigned>(h - 'A' + 10);
            else corrupt("bad \\u escape");
        }
        return v;
    }

    static void appendUTF8(std::string& out, char32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    std::string string() {
        ++at_;  // the opening quote
        std::string out;
        while (true) {
            if (at_ >= text_.size()) corrupt("unterminated string");
            const char c = text_[at_++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) corrupt("control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) corrupt("unterminated escape");
            const char e = text_[at_++];
            switch (e) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    char32_t cp = hex4();
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        if (!literal("\\u")) corrupt("lone surrogate");
                        const char32_t low = hex4();
                        if (low < 0xDC00 || low > 0xDFFF) corrupt("lone surrogate");
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                        corrupt("lone surrogate");
                    }
                    appendUTF8(out, cp);
                    break;
                }
                default: corrupt("bad escape");
            }
        }
    }

    JSONValue number() {
        const size_t start = at_;
        bool isFloat = false;
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if ((c >= '0' && c <= '9') || c == '-' || c == '+') {
                ++at_;
            } else if (c == '.' || c == 'e' || c == 'E') {
                isFloat = true;
                ++at_;
            } else {
                break;
            }
        }
        const std::string_view digits = text_.substr(start, at_ - start);
        if (digits.empty() || digits[0] == '+') corrupt("expected a value");
        const char* first = digits.data();
        const char* last = digits.data() + digits.size();
        if (!isFloat) {
            int64_t v = 0;
            auto [end, ec] = std::from_chars(first, last, v);
            if (ec == std::errc() && end == last) return JSONValue{v};
            if (ec == std::errc::result_out_of_range) corrupt("a number beyond 64 bits");
            corrupt("a malformed number");
        }
        double d = 0;
        auto [end, ec] = std::from_chars(first, last, d);
        if (ec != std::errc() || end != last) corrupt("a malformed number");
        return JSONValue{d};
    }

    std::string_view text_;
    size_t at_ = 0;
};

const std::string& textValue(const JSONValue& v, const char* type) {
    if (const auto* s = std::get_if<std::string>(&v.value)) return *s;
    fail(Case::typeMismatch, std::string("Expected to decode String for ") + type + " but found another value.");
}

int64_t integerValue(const JSONValue& v, const char* what) {
    if (const auto* i = std::get_if<int64_t>(&v.value)) return *i;
    fail(Case::typeMismatch, std::string("Expected to decode Int for ") + what + " but found another value.");
}

[[noreturn]] void notARawValue(const char* type, const std::string& shown) {
    fail(Case::dataCorrupted, std::string("Cannot initialize ") + type + " from invalid value " + shown + ".");
}

}  // namespace

const JSONValue* JSONValue::member(std::string_view key) const {
    const auto* object = std::get_if<std::shared_ptr<Object>>(&value);
    if (!object) return nullptr;
    for (const auto& [k, v] : **object)
        if (k == key) return &v;
    return nullptr;
}

JSONValue parseJSON(std::string_view text) { return Reader(text).document(); }

TimecodeFrameRate decodeFrameRate(const JSONValue& v) {
    const std::string& s = textValue(v, "TimecodeFrameRate");
    if (auto r = TimecodeFrameRate::fromRawValue(s)) return *r;
    notARawValue("TimecodeFrameRate", s);
}

LegacyFrameRate decodeLegacyFrameRate(const JSONValue& v) {
    const std::string& s = textValue(v, "Timecode.FrameRate");
    if (auto r = legacyFrameRateFromRawValue(s)) return *r;
    notARawValue("Timecode.FrameRate", s);
}

UpperLimit decodeUpperLimit(const JSONValue& v) {
    const std::string& s = textValue(v, "Timecode.UpperLimit");
    if (auto r = upperLimitFromRawValue(s)) return *r;
    notARawValue("Timecode.UpperLimit", s);
}

SubFramesBase decodeSubFramesBase(const JSONValue& v) {
    const int64_t raw = integerValue(v, "Timecode.SubFramesBase");
    if (auto r = subFramesBaseFromRawValue(raw)) return *r;
    notARawValue("Timecode.SubFramesBase", std::to_string(raw));
}

StringFormatParameter decodeStringFormatParameter(const JSONValue& v) {
    const std::string& s = textValue(v, "Timecode.StringFormatParameter");
    if (auto r = stringFormatParameterFromRawValue(s)) return *r;
    fail(Case::valueNotFound, "Decoded value is not valid.");
}

Timecode decodeTimecode(const JSONValue& v) {
    if (!std::holds_alternative<std::shared_ptr<JSONValue::Object>>(v.value))
        fail(Case::typeMismatch, "Expected to decode a keyed record for Timecode but found another value.");
    auto entry = [&](std::string_view key) -> const JSONValue& {
        const JSONValue* m = v.member(key);
        if (!m) fail(Case::keyNotFound, "No value associated with key \"" + std::string(key) + "\".");
        return *m;
    };
    Timecode t(decodeFrameRate(entry("frameRate")), decodeUpperLimit(entry("upperLimit")),
               decodeSubFramesBase(entry("subFramesBase")));
    const auto* list = std::get_if<std::shared_ptr<JSONValue::Array>>(&entry("stringFormat").value);
    if (!list) fail(Case::typeMismatch, "Expected to decode Array for stringFormat but found another value.");
    for (const auto& element : **list) t.stringFormat.insert(decodeStringFormatParameter(element));
    Components c;
    for (size_t i = 0; i < 6; ++i) c[allComponents[i]] = integerValue(entry(timecodeCodingKeys[4 + i]), "a component");
    t.setComponents(c);
    return t;
}

Timecode decodeTimecode(std::string_view json) { return decodeTimecode(parseJSON(json)); }

}  // namespace timecode
