#include "midi_support/collections.hpp"

#include <string>

namespace midisupport {

namespace detail {

std::vector<std::pair<size_t, size_t>> sliceBounds(size_t count, std::ptrdiff_t every,
                                                   bool backwards) {
    std::vector<std::pair<size_t, size_t>> bounds;
    if (every < 1 || count == 0) return bounds;
    const auto step = static_cast<size_t>(every);
    bounds.reserve(count / step + 1);
    if (!backwards) {
        for (size_t start = 0; start < count; start += std::min(step, count - start)) {
            bounds.emplace_back(start, start + std::min(step, count - start));
        }
    } else {
        // The short slice, if any, goes first, so that every later slice ends at count - k x step.
        const size_t head = count % step;
        if (head != 0) bounds.emplace_back(0, head);
        for (size_t start = head; start < count; start += step) {
            bounds.emplace_back(start, start + step);
        }
    }
    return bounds;
}

void checkOffsets(size_t count, std::ptrdiff_t lower, std::ptrdiff_t upper, bool closed) {
    if (upper < lower) {
        throw RangeError(RangeError::Case::invertedBounds,
                         "The offset range " + std::to_string(lower) + (closed ? "..." : "..<") +
                             std::to_string(upper) + " has its lower bound above its upper bound.");
    }
    const auto size = static_cast<std::ptrdiff_t>(count);
    if (lower < 0 || (closed ? upper >= size : upper > size)) {
        throw RangeError(RangeError::Case::offsetOutOfBounds,
                         "The offset range " + std::to_string(lower) + (closed ? "..." : "..<") +
                             std::to_string(upper) + " lies outside a collection of " +
                             std::to_string(count) + " elements.");
    }
}

}  // namespace detail

std::vector<std::string_view> split(std::string_view text, std::ptrdiff_t every, bool backwards) {
    std::vector<std::string_view> slices;
    for (const auto& [start, end] : detail::sliceBounds(text.size(), every, backwards)) {
        slices.push_back(text.substr(start, end - start));
    }
    return slices;
}

}  // namespace midisupport
