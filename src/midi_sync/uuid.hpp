// Names for objects that were given none.
#pragma once

#include <string>

namespace midisync::detail {

// A random (version 4) UUID in its upper-case text form, e.g. "1B4E28BA-2FA1-41D2-883F-0016D3CCA427".
std::string newUUIDString();

}  // namespace midisync::detail
