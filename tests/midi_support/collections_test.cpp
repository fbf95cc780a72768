#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "midi_support/collections.hpp"

using namespace midisupport;

namespace {

template <class Slices>
std::vector<std::vector<int>> contents(const Slices& slices) {
    std::vector<std::vector<int>> out;
    for (const auto& s : slices)
        out.emplace_back(s.begin(), s.end());
    return out;
}

TEST(Split, ForwardsAndBackwards) {
    const std::vector<int> five = {1, 2, 3, 4, 5};
    const std::vector<int> none;
    using Groups = std::vector<std::vector<int>>;
    const struct {
        const std::vector<int>& elements;
        std::ptrdiff_t every;
        Groups forwards, backwards;
    } cases[] = {
        {five, 2, {{1, 2}, {3, 4}, {5}}, {{1}, {2, 3}, {4, 5}}},
        {five, 1, {{1}, {2}, {3}, {4}, {5}}, {{1}, {2}, {3}, {4}, {5}}},
        {five, 5, {{1, 2, 3, 4, 5}}, {{1, 2, 3, 4, 5}}},
        {five, 7, {{1, 2, 3, 4, 5}}, {{1, 2, 3, 4, 5}}},
        {five, 0, {}, {}},
        {five, -2, {}, {}},
        {none, 3, {}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(contents(split(c.elements, c.every)), c.forwards) << c.every;
        EXPECT_EQ(contents(split(c.elements, c.every, true)), c.backwards) << c.every;
    }
}

TEST(Split, TextAndMutableSlices) {
    using Parts = std::vector<std::string_view>;
    EXPECT_EQ(split("F07E7", 2), (Parts{"F0", "7E", "7"}));
    EXPECT_EQ(split(std::string("F07E7"), 2, true), (Parts{"F", "07", "E7"}));
    EXPECT_EQ(split("", 2), Parts{});
    std::array<int, 4> values = {1, 2, 3, 4};
    for (auto slice : split(values, 3))
        slice[0] = 0;
    EXPECT_EQ(values, (std::array<int, 4>{0, 2, 3, 0}));
}

TEST(OffsetSubscripts, SlicesAndElements) {
    const std::vector<char> text = {'H', 'U', 'I', '-', '1', '0'};
    const auto closed = closedSlice(text, 1, 3);
    EXPECT_EQ(std::string(closed.begin(), closed.end()), "UI-");
    EXPECT_EQ(closedSlice(text, 5, 5).size(), 1u);
    const auto open = halfOpenSlice(text, 1, 3);
    EXPECT_EQ(std::string(open.begin(), open.end()), "UI");
    EXPECT_TRUE(halfOpenSlice(text, 6, 6).empty());
    EXPECT_EQ(elementAt(text, 4), '1');

    const struct {
        std::ptrdiff_t lower, upper;
        bool closed;
        RangeError::Case error;
    } bad[] = {
        {3, 2, true, RangeError::Case::invertedBounds},
        {3, 2, false, RangeError::Case::invertedBounds},
        {-1, 2, true, RangeError::Case::offsetOutOfBounds},
        {0, 6, true, RangeError::Case::offsetOutOfBounds},
        {0, 7, false, RangeError::Case::offsetOutOfBounds},
    };
    for (const auto& c : bad) {
        try {
            c.closed ? closedSlice(text, c.lower, c.upper) : halfOpenSlice(text, c.lower, c.upper);
            ADD_FAILURE() << c.lower << " " << c.upper;
        } catch (const RangeError& e) {
            EXPECT_EQ(e.errorCase(), c.error) << e.what();
        }
    }
    EXPECT_THROW(elementAt(text, 6), RangeError);
    EXPECT_THROW(elementAt(text, -1), RangeError);
}

}  // namespace
