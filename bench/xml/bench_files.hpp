// Benchmark input read from a file named by an environment variable.
#pragma once

#include <benchmark/benchmark.h>

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

// Whether `text`, read from the file that `variable` names, is there; if not, the benchmark is
// skipped with a note of what to set.
inline bool haveFileText(benchmark::State& state, const std::string& text, const char* variable) {
    if (!text.empty()) return true;
    state.SkipWithError((std::string("set ") + variable + " to a MusicXML file").c_str());
    return false;
}

}  // namespace xmlbench
