// Zipping a file-system tree into a new archive and unzipping an archive below a directory.
#pragma once

#include <filesystem>
#include <optional>

#include "zip/compression.hpp"
#include "zip/progress.hpp"
#include "zip/text.hpp"

namespace zip {

// Writes a new archive at `destination` holding `source`: a file or symbolic link as one entry
// named after it; a directory as every item below it (entry paths relative to it, listed
// depth-first in name order), preceded, with `keepsParent`, by the directory's name and followed
// by the directory's own entry. Symbolic links are stored as links. The archive being written is
// left out when it lies inside the tree. Fails with FileError fileReadNoSuchFile for a missing
// source and fileWriteFileExists when anything exists at the destination (nothing is written);
// a failed addition leaves the archive holding the entries added before it.
void zipItem(const std::filesystem::path& source, const std::filesystem::path& destination,
             bool keepsParent = true, CompressionMethod compressionMethod = CompressionMethod::none,
             Progress* progress = nullptr);

// Extracts every entry of the archive at `archive` below `destination`, creating it as needed.
// An entry whose path is empty or does not decode fails with invalidEntryPath; one that leaves
// the destination, by its own ".." steps or through a symbolic link extracted before it, fails
// with FileError fileReadInvalidFileName; links pointing outside fail with uncontainedSymlink
// unless `allowUncontainedSymlinks`. Unless `skipCRC32`, data that does not match its checksum
// fails with invalidCRC32. Items get their entries' permissions (never set-user-ID or
// set-group-ID) and modification times; directories get theirs after all their contents are
// written. Items extracted before a failure stay on disk.
void unzipItem(const std::filesystem::path& archive, const std::filesystem::path& destination,
               bool skipCRC32 = false, bool allowUncontainedSymlinks = false,
               Progress* progress = nullptr,
               std::optional<TextEncoding> pathEncoding = std::nullopt);

}  // namespace zip
