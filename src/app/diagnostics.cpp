#include "app/diagnostics.hpp"

#include <cstdio>
#include <mutex>

namespace companion {

const char* toString(LogColor color) {
    switch (color) {
        case LogColor::white:
            return "white";
        case LogColor::gray:
            return "gray";
        case LogColor::yellow:
            return "yellow";
        case LogColor::red:
            return "red";
        case LogColor::green:
            return "green";
    }
    return "white";
}

DiagnosticSink standardOutput() {
    return [](const std::string& line) {
        static std::mutex mutex;
        std::lock_guard lock(mutex);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    };
}

}  // namespace companion
