#include "xml/access/error.hpp"

#include <utility>

namespace xmlaccess {

namespace {

// A text between double quotes with its quotes and backslashes escaped.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

XMLError::XMLError(Case errorCase, const std::string& message,
                   std::optional<sax::ParseError> rawError, std::string description)
    : std::runtime_error(message),
      case_(errorCase),
      rawError_(std::move(rawError)),
      description_(std::move(description)) {}

XMLError XMLError::interruptedParseError(sax::ParseError rawError) {
    const std::string message = "The XML document could not be parsed: " + rawError.message +
                                " at line " + std::to_string(rawError.line) + ", column " +
                                std::to_string(rawError.column) + ".";
    return XMLError(Case::interruptedParseError, message, std::move(rawError), {});
}

XMLError XMLError::accessError(std::string description) {
    return XMLError(Case::accessError, description, std::nullopt, description);
}

XMLError XMLError::failToEncodeString() {
    return XMLError(Case::failToEncodeString, "The text could not be converted to UTF-8 bytes.",
                    std::nullopt, {});
}

XMLError XMLError::invalidName(std::string name) {
    // The message is built before the name is moved: the order in which arguments are
    // evaluated is not defined.
    std::string message = quoted(name) + " is not a valid XML name, so it cannot be written.";
    return XMLError(Case::invalidName, message, std::nullopt, std::move(name));
}

std::string XMLError::textForm() const {
    switch (case_) {
        case Case::interruptedParseError:
            return "interruptedParseError(rawError: ParseError(code: " +
                   std::to_string(rawError_->code) + ", message: " + quoted(rawError_->message) +
                   ", line: " + std::to_string(rawError_->line) +
                   ", column: " + std::to_string(rawError_->column) + "))";
        case Case::accessError:
            return "accessError(description: " + quoted(description_) + ")";
        case Case::failToEncodeString:
            return "failToEncodeString";
        case Case::invalidName:
            return "invalidName(name: " + quoted(description_) + ")";
    }
    return "unknown";
}

}  // namespace xmlaccess
