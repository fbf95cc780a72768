// The timed loops that several XML benchmarks share: a bare expat pass and the indexing reader's
// full parse over one text, each counting the bytes it went through.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bare_expat.hpp"
#include "xml/indexing.hpp"

namespace xmlbench {

// bareExpatPass(text, piece) in a loop.
inline void timeBareExpatPasses(benchmark::State& state, std::string_view text, size_t piece = 0) {
    for (auto _ : state) {
        if (!bareExpatPass(text, piece)) state.SkipWithError("expat refused the score");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The full parse of `text` with default options in a loop, each tree dropped within the timing.
inline void timeFullParses(benchmark::State& state, std::string_view text) {
    for (auto _ : state) {
        auto root = xmlindexing::XMLHash::parse(text);
        if (root.kind() != xmlindexing::XMLIndexer::Kind::element)
            state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

}  // namespace xmlbench
