// The error of the accessor-style XML reader.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "sax/parser.hpp"

namespace xmlaccess {

// A failure of the accessor-style reader: the case, its payload and a complete English sentence
// as `what()`.
class XMLError : public std::runtime_error {
  public:
    enum class Case {
        // The event-driven parser reported a fatal error; `rawError()` holds it unchanged.
        interruptedParseError,
        // A lookup or positional access failed; `description()` holds the fixed message.
        accessError,
        // The text given to `XML::parse` is not valid UTF-8.
        failToEncodeString,
        // The writer met an element or attribute name that is not an XML name; `description()`
        // holds the name.
        invalidName,
    };

    static XMLError interruptedParseError(sax::ParseError rawError);
    static XMLError accessError(std::string description);
    static XMLError failToEncodeString();
    static XMLError invalidName(std::string name);

    Case errorCase() const { return case_; }
    const std::optional<sax::ParseError>& rawError() const { return rawError_; }
    // accessError: the message; invalidName: the offending name; empty for the other cases.
    const std::string& description() const { return description_; }

    // The case name followed by its labelled payload in parentheses, for diagnostics:
    // accessError(description: "j not found.").
    std::string textForm() const;

  private:
    XMLError(Case errorCase, const std::string& message, std::optional<sax::ParseError> rawError,
             std::string description);

    Case case_;
    std::optional<sax::ParseError> rawError_;
    std::string description_;
};

}  // namespace xmlaccess
