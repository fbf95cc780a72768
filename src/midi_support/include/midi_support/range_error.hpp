// The error of the helpers that take ranges and offsets: clamping and offset subscripts refuse a
// range or offset that does not fit instead of giving a value outside it.
#pragma once

#include <stdexcept>
#include <string>

namespace midisupport {

class RangeError : public std::out_of_range {
  public:
    enum class Case {
        emptyRange,  // a range with no values (a half-open range a..<a, or one below the minimum)
        invertedBounds,     // a lower bound above the upper bound
        offsetOutOfBounds,  // an offset outside the collection
    };
    RangeError(Case c, const std::string& message) : std::out_of_range(message), case_(c) {}
    Case errorCase() const { return case_; }

  private:
    Case case_;
};

}  // namespace midisupport
