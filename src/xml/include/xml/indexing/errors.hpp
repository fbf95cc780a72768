// The error values of the indexing XML reader. Both are exceptions (thrown by the throwing
// lookups) and values (carried by error-valued indexers); what() and description() give the same
// fixed English text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <variant>

namespace xmlindexing {

// Why a lookup on an XMLIndexer failed.
class IndexingError : public std::exception {
  public:
    enum class Case { attribute, attributeValue, key, index, initialize, encoding, error };

    // Payload of each case, in the order of Case.
    struct Attribute {
        std::string attr;
    };
    struct AttributeValue {
        std::string attr;
        std::string value;
    };
    struct Key {
        std::string key;
    };
    struct Index {
        int64_t idx;
    };
    struct Initialize {
        // The object an indexer could not be made from, and its text form.
        std::shared_ptr<const void> instance;
        std::string instanceDescription;
    };
    struct Encoding {};
    struct Error {};
    using Payload =
        std::variant<Attribute, AttributeValue, Key, Index, Initialize, Encoding, Error>;

    // "XML Attribute Error: Missing attribute ["name"]"
    static IndexingError attribute(std::string attr);
    // "XML Attribute Error: Missing attribute ["name"] with value ["value"]"
    static IndexingError attributeValue(std::string attr, std::string value);
    // "XML Element Error: Incorrect key ["name"]"
    static IndexingError key(std::string key);
    // "XML Element Error: Incorrect index ["3"]"
    static IndexingError index(int64_t idx);
    // "XML Indexer Error: initialization with Object ["text form"]"
    static IndexingError initialize(std::shared_ptr<const void> instance,
                                    std::string instanceDescription);
    // "String Encoding Error"
    static IndexingError encoding();
    // "Unknown Error"
    static IndexingError error();

    Case errorCase() const { return static_cast<Case>(payload_.index()); }
    const Payload& payload() const { return payload_; }
    const std::string& description() const { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

    bool operator==(const IndexingError& other) const;

  private:
    explicit IndexingError(Payload payload);

    Payload payload_;
    std::string text_;
};

// Where the event-driven parser found the document malformed: line counted from 1, column from 0.
class ParsingError : public std::exception {
  public:
    ParsingError(int64_t line, int64_t column);

    int64_t line() const { return line_; }
    int64_t column() const { return column_; }
    // "There was a parsing error on line: N, column: M"
    const std::string& description() const { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

    bool operator==(const ParsingError& other) const {
        return line_ == other.line_ && column_ == other.column_;
    }

  private:
    int64_t line_;
    int64_t column_;
    std::string text_;
};

// A parse stopped because its tree would take more memory than XMLHashOptions::maximumTreeSize.
class TreeSizeError : public std::exception {
  public:
    explicit TreeSizeError(size_t limit);
    size_t limit() const { return limit_; }
    // "The document's element tree needs more than N bytes of memory."
    const char* what() const noexcept override { return text_.c_str(); }

  private:
    size_t limit_;
    std::string text_;
};

}  // namespace xmlindexing
