// Ordering timecodes, optionally on a timeline that starts at a given timecode and runs past
// midnight (with a start of 23:00, 00:30 comes after 23:30).
#pragma once

#include <algorithm>
#include <functional>
#include <iterator>
#include <optional>
#include <vector>

#include "timecode/timecode.hpp"

namespace timecode {

enum class SortOrder { forward, reverse };

struct TimecodeSortComparator {
    SortOrder order = SortOrder::forward;
    std::optional<Timecode> timelineStart;

    // The comparison of the two on the timeline; reversed (ascending and descending swapped) for
    // `reverse`.
    Timecode::ComparisonResult compare(const Timecode& a, const Timecode& b) const {
        auto r = a.compare(b, timelineStart);
        if (order == SortOrder::reverse && r != Timecode::ComparisonResult::orderedSame)
            r = r == Timecode::ComparisonResult::orderedAscending ? Timecode::ComparisonResult::orderedDescending
                                                                  : Timecode::ComparisonResult::orderedAscending;
        return r;
    }
    friend bool operator==(const TimecodeSortComparator& a, const TimecodeSortComparator& b) {
        return a.order == b.order && a.timelineStart.has_value() == b.timelineStart.has_value() &&
               (!a.timelineStart || *a.timelineStart == *b.timelineStart);
    }
};

namespace detail {
inline Timecode::ComparisonResult wanted(SortOrder order) {
    return order == SortOrder::forward ? Timecode::ComparisonResult::orderedAscending
                                       : Timecode::ComparisonResult::orderedDescending;
}
}  // namespace detail

// Whether neighbouring elements are in `order` (equal real times pass).
template <std::ranges::forward_range R>
bool isSorted(const R& timecodes, SortOrder order = SortOrder::forward,
              const std::optional<Timecode>& timelineStart = std::nullopt) {
    auto it = std::ranges::begin(timecodes);
    const auto end = std::ranges::end(timecodes);
    if (it == end) return true;
    for (auto next = std::next(it); next != end; ++it, ++next) {
        if (*it == *next) continue;
        if (it->compare(*next, timelineStart) != detail::wanted(order)) return false;
    }
    return true;
}

template <std::ranges::random_access_range R>
void sort(R& timecodes, SortOrder order = SortOrder::forward,
          const std::optional<Timecode>& timelineStart = std::nullopt) {
    const auto want = detail::wanted(order);
    // A merge sort: it never leaves the range even if mixed rates make the order inconsistent.
    std::ranges::stable_sort(timecodes,
                      [&](const Timecode& a, const Timecode& b) { return a.compare(b, timelineStart) == want; });
}

template <std::ranges::input_range R>
std::vector<Timecode> sorted(const R& timecodes, SortOrder order = SortOrder::forward,
                             const std::optional<Timecode>& timelineStart = std::nullopt) {
    std::vector<Timecode> out(std::ranges::begin(timecodes), std::ranges::end(timecodes));
    sort(out, order, timelineStart);
    return out;
}

}  // namespace timecode

template <>
struct std::hash<timecode::TimecodeSortComparator> {
    size_t operator()(const timecode::TimecodeSortComparator& c) const {
        size_t h = std::hash<int>{}(static_cast<int>(c.order));
        if (!c.timelineStart) return h ^ 0x51ed270b27cb7bfbULL;
        return h ^ (std::hash<timecode::Timecode>{}(*c.timelineStart) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
    }
};
