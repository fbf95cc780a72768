#include "midi_support/exception.hpp"

#include <cstring>

namespace midisupport {

const char* exceptionName(Exception exception) {
    switch (exception) {
        case Exception::overflow: return "NSDecimalNumberOverflowException";
        case Exception::underflow: return "NSDecimalNumberUnderflowException";
        case Exception::divisionByZero: return "NSDecimalNumberDivideByZeroException";
    }
    return "NSDecimalNumberOverflowException";
}

RaisedException::RaisedException(std::string name, std::optional<std::string> reason)
    : std::runtime_error(reason ? *reason : name), name_(std::move(name)), reason_(std::move(reason)) {}

std::optional<Exception> RaisedException::exceptionCase() const {
    for (auto c : {Exception::overflow, Exception::underflow, Exception::divisionByZero}) {
        if (name_ == exceptionName(c)) return c;
    }
    return std::nullopt;
}

void raise(Exception exception, std::optional<std::string> reason) {
    throw RaisedException(exceptionName(exception), std::move(reason));
}

void raiseException(std::string name, std::optional<std::string> reason) {
    throw RaisedException(std::move(name), std::move(reason));
}

}  // namespace midisupport
