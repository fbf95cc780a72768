// A small JSON writer for the piece document: keys in the order they are written, pretty-printed
// with a two-space indent and " : " between key and value, integers as integers, 32-bit floats in
// the shortest text that reads back as the same float, strings escaped.
//
//     JSONWriter w;
//     w.beginObject();
//     w.key("qnpm");
//     w.value(120.0f);
//     w.endObject();
//     std::string text = w.finish();   // "{\n  \"qnpm\" : 120\n}"
//
// A value with no JSON form (a non-finite float, a string that is not UTF-8) throws
// JSONEncodingError naming where it stood; the text written so far stays inside the writer and is
// never handed out.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace score {

class JSONEncodingError : public std::runtime_error {
  public:
    enum class Case { invalidValue, invalidStructure };

    JSONEncodingError(Case errorCase, const std::string& message)
        : std::runtime_error(message), case_(errorCase) {}
    Case errorCase() const { return case_; }

  private:
    Case case_;
};

class JSONWriter {
  public:
    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // The key of the next value; only inside an object.
    void key(std::string_view name);

    void value(int64_t number);
    void value(float number);
    void value(std::string_view text);
    // Without these, a literal would pick one of the overloads above by accident.
    void value(const char* text) { value(std::string_view(text)); }
    void value(int number) { value(static_cast<int64_t>(number)); }
    void value(double) = delete;

    // The finished text, ending without a newline. Throws JSONEncodingError unless exactly one
    // complete value was written.
    std::string finish();

  private:
    struct Level {
        bool isObject;
        size_t count = 0;
        std::string key;  // the current key of an object
        bool hasKey = false;
    };

    void beforeValue();
    void afterValue();
    void writeString(std::string_view text);
    void open(char bracket, bool isObject);
    void close(char bracket, bool isObject);
    void newline(size_t depth);
    // Where the value being written stands, as "tempos[0].bpm", for error messages.
    std::string path() const;
    [[noreturn]] void fail(JSONEncodingError::Case errorCase, const std::string& what) const;

    std::string out_;
    std::vector<Level> levels_;
    bool done_ = false;
};

}  // namespace score
