// Cutting collections into slices of a fixed length, and slicing them at integer offsets from
// their start. Slices are views into the collection, valid as long as it is; temporaries that
// own their elements are refused.
#pragma once

#include <cstddef>
#include <ranges>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "midi_support/range_error.hpp"

namespace midisupport {

namespace detail {

// The [start, end) offsets of the slices of `count` elements cut every `every`: forwards from the
// front (the last slice may be shorter) or backwards from the back (the first may be shorter), in
// front-to-back order either way. None for `every` below 1.
std::vector<std::pair<size_t, size_t>> sliceBounds(size_t count, std::ptrdiff_t every,
                                                   bool backwards);

// Throws RangeError unless lower <= upper <= count (`closed`: upper < count).
void checkOffsets(size_t count, std::ptrdiff_t lower, std::ptrdiff_t upper, bool closed);

template <class R>
concept Text = std::convertible_to<const R&, std::string_view>;

template <std::ranges::contiguous_range R>
using ElementSpan = std::span<std::remove_reference_t<std::ranges::range_reference_t<R>>>;

// The slice of `all` from `lower` through `upper` (`closed`) or up to `upper`, after the checks
// of checkOffsets.
template <class T>
std::span<T> offsetSlice(std::span<T> all, std::ptrdiff_t lower, std::ptrdiff_t upper,
                         bool closed) {
    checkOffsets(all.size(), lower, upper, closed);
    const auto length = static_cast<size_t>(upper - lower) + (closed ? 1 : 0);
    return all.subspan(static_cast<size_t>(lower), length);
}

}  // namespace detail

// `text` cut into slices of `every` bytes; see the collection form.
std::vector<std::string_view> split(std::string_view text, std::ptrdiff_t every,
                                    bool backwards = false);

// `elements` cut into consecutive slices of `every` elements. Forwards, slices start at offsets
// 0, every, 2 x every, ... and the last may be shorter; backwards, they end at count,
// count - every, ... and the first may be shorter. Slices come in front-to-back order either way.
// An empty collection, or `every` below 1, gives no slices.
template <std::ranges::contiguous_range R>
requires std::ranges::borrowed_range<R> &&
    (!detail::Text<R>)std::vector<detail::ElementSpan<R>> split(R&& elements, std::ptrdiff_t every,
                                                                bool backwards = false) {
    const detail::ElementSpan<R> all(std::ranges::data(elements), std::ranges::size(elements));
    std::vector<detail::ElementSpan<R>> slices;
    for (const auto& [start, end] : detail::sliceBounds(all.size(), every, backwards)) {
        slices.push_back(all.subspan(start, end - start));
    }
    return slices;
}

// The elements from offset `lower` through offset `upper`, both included. Throws RangeError
// unless 0 <= lower <= upper < size.
template <std::ranges::contiguous_range R>
requires std::ranges::borrowed_range<R> detail::ElementSpan<R> closedSlice(R&& elements,
                                                                           std::ptrdiff_t lower,
                                                                           std::ptrdiff_t upper) {
    return detail::offsetSlice(
        detail::ElementSpan<R>(std::ranges::data(elements), std::ranges::size(elements)), lower,
        upper, true);
}

// The elements from offset `lower` up to, not including, offset `upper`. Throws RangeError unless
// 0 <= lower <= upper <= size.
template <std::ranges::contiguous_range R>
requires std::ranges::borrowed_range<R> detail::ElementSpan<R> halfOpenSlice(R&& elements,
                                                                             std::ptrdiff_t lower,
                                                                             std::ptrdiff_t upper) {
    return detail::offsetSlice(
        detail::ElementSpan<R>(std::ranges::data(elements), std::ranges::size(elements)), lower,
        upper, false);
}

// The element at `offset`. Throws RangeError unless 0 <= offset < size.
template <std::ranges::contiguous_range R>
requires std::ranges::borrowed_range<R>
auto& elementAt(R&& elements, std::ptrdiff_t offset) {
    return closedSlice(elements, offset, offset)[0];
}

}  // namespace midisupport
