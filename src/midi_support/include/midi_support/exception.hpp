// The range-violation signal of the MIDI integer types: raising one of a few named exceptions with
// a reason text. Raising throws midisupport::RaisedException, which callers that decode untrusted
// bytes catch to refuse bad values.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace midisupport {

enum class Exception { overflow, underflow, divisionByZero };

// The name an exception case is raised under.
const char* exceptionName(Exception exception);

class RaisedException : public std::runtime_error {
public:
    RaisedException(std::string name, std::optional<std::string> reason);
    const std::string& name() const { return name_; }
    const std::optional<std::string>& reason() const { return reason_; }
    // The case whose name this exception carries, if it carries one of theirs.
    std::optional<Exception> exceptionCase() const;

private:
    std::string name_;
    std::optional<std::string> reason_;
};

// Raises the exception named after `exception` with the given reason. Does not return.
[[noreturn]] void raise(Exception exception, std::optional<std::string> reason = std::nullopt);
// Raises an exception of any name with the given reason. Does not return.
[[noreturn]] void raiseException(std::string name, std::optional<std::string> reason = std::nullopt);

}  // namespace midisupport
