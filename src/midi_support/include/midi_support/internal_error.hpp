// The error of the MIDI support helpers' packet builders.
#pragma once

#include <stdexcept>
#include <string>

namespace midisupport {

class VOREDuvInternalError : public std::runtime_error {
  public:
    enum class Case { malformed };

    static VOREDuvInternalError malformed(const std::string& message) {
        return VOREDuvInternalError(Case::malformed, message);
    }

    Case errorCase() const { return case_; }

  private:
    VOREDuvInternalError(Case c, const std::string& message)
        : std::runtime_error(message), case_(c) {}

    Case case_;
};

}  // namespace midisupport
