// Benchmark input read from a file named by an environment variable.
#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace xmlbench {

// The bytes of the file that the environment variable `variable` names; empty when it names none.
inline std::string textOfFileNamedBy(const char* variable) {
    const char* path = std::getenv(variable);
    if (path == nullptr) return {};
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace xmlbench
