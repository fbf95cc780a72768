// libzip's reading loop, in a translation unit of its own: its header declares a `struct zip`,
// which cannot live beside this library's namespace of that name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace zipbench {

// Reads every entry of the archive at `path` in directory order, in pieces of 16 KiB:
// `begin` before an entry, `piece` per piece, `end` after it. libzip checks each entry's CRC-32.
// Returns "" or the first error.
std::string libzipExtractEveryEntry(const char* path, const std::function<void()>& begin,
                                    const std::function<void(const uint8_t*, size_t)>& piece,
                                    const std::function<void()>& end);

}  // namespace zipbench
