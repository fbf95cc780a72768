// The file-system queries the archive operations share. Items are examined with lstat: a symbolic
// link is itself, never its target.
#pragma once

#include <filesystem>

#include "zip/attributes.hpp"
#include "zip/entry.hpp"

namespace zip {

// Fail with FileError fileReadNoSuchFile when the item does not exist, and with the system error
// when it cannot be examined.
Entry::EntryType entryType(const std::filesystem::path& item);
int64_t fileSize(const std::filesystem::path& item);  // a link's size is its target's length
Date modificationDate(const std::filesystem::path& item);

// Whether the item exists (a dangling symbolic link does); other lstat failures are errors.
bool itemExists(const std::filesystem::path& item);
// Creates the directories above `item`; existing ones are no error.
void createParentDirectories(const std::filesystem::path& item);
// Whether `candidate`, with "." and ".." resolved lexically (symbolic links are not followed),
// lies inside `directory` or is the directory itself.
bool isInside(const std::filesystem::path& candidate, const std::filesystem::path& directory);
// `entryPath` below `destination`: leading slashes are dropped so that an absolute entry path
// stays inside. Parent steps are kept; isInside() tells whether the result escapes.
std::filesystem::path joinEntryPath(const std::filesystem::path& destination,
                                    std::string_view entryPath);
// A directory to build a replacement of `archive` in: a new directory beside it, or a fresh name
// in the temporary directory (not created) when that cannot be had or for a memory archive.
std::filesystem::path replacementDirectory(const std::optional<std::filesystem::path>& archive);

}  // namespace zip
