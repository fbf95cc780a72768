// The two report channels of the companion: the window's coloured output log for the user, and
// diagnostic lines on standard output.
#pragma once

#include <functional>
#include <string>

namespace companion {

enum class LogColor { white, gray, yellow, red, green };

const char* toString(LogColor color);

struct LogLine {
    std::string text;
    LogColor color = LogColor::white;
    friend bool operator==(const LogLine&, const LogLine&) = default;
};

// Takes one diagnostic line (without its line feed). Called from any thread.
using DiagnosticSink = std::function<void(const std::string&)>;

// Writes each line to standard output, whole lines one at a time.
DiagnosticSink standardOutput();

}  // namespace companion
