// An ordered list of transforms applied to timecodes (offsets by an interval, or functions of
// one's own), for example to shift every timecode of a timeline.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "timecode/timecode.hpp"

namespace timecode {

class TimecodeTransformer {
  public:
    class Transform {
      public:
        enum class Case { offset, custom, none };
        static Transform offset(const TimecodeInterval& interval) { return Transform(Case::offset, interval, {}); }
        static Transform custom(std::function<Timecode(const Timecode&)> function) {
            return Transform(Case::custom, std::nullopt, std::move(function));
        }
        static Transform none() { return Transform(Case::none, std::nullopt, {}); }
        Case transformCase() const { return case_; }
        const std::optional<TimecodeInterval>& interval() const { return interval_; }
        const std::function<Timecode(const Timecode&)>& function() const { return function_; }

      private:
        Transform(Case c, std::optional<TimecodeInterval> interval, std::function<Timecode(const Timecode&)> f)
            : case_(c), interval_(std::move(interval)), function_(std::move(f)) {}
        Case case_;
        std::optional<TimecodeInterval> interval_;
        std::function<Timecode(const Timecode&)> function_;
    };

    TimecodeTransformer() = default;
    explicit TimecodeTransformer(Transform transform) : transforms{std::move(transform)} {}
    explicit TimecodeTransformer(std::vector<Transform> list, bool isEnabled = true)
        : transforms(std::move(list)), enabled(isEnabled) {}

    std::vector<Transform> transforms;
    bool enabled = true;

    // The transforms in list order; offsets wrap at the current timecode's upper limit and keep
    // its settings. A disabled or empty transformer returns its input.
    Timecode transform(const Timecode& input) const;
};

}  // namespace timecode
