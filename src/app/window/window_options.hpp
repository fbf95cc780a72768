// The controller options of the application's window.
#pragma once

#include "app/controller.hpp"

namespace companion {

inline CompanionOptions windowOptions() {
    CompanionOptions options;
    return options;
}

}  // namespace companion
