// Resolving paths beneath a directory held open, the way extraction writes items: one component
// at a time from a directory descriptor, following symbolic links only while they stay beneath
// it, so that nothing swapped in between a check and a write can redirect the write elsewhere.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive_state.hpp"

namespace zip::detail {

// The components of a relative path: empty and "." components dropped, ".." kept. Fails with
// ArchiveError invalidEntryPath when a component holds a NUL byte, which the system calls would
// take for the end of the name.
std::vector<std::string> pathComponents(std::string_view path, const std::string& display);

// A directory reached beneath a root: its descriptor (O_PATH) and its names below the root.
struct Location {
    FileDescriptor fd;
    std::vector<std::string> names;
};

class Beneath {
  public:
    // Holds `root` open, creating it and the directories above it first when `create` is set.
    Beneath(const std::filesystem::path& root, bool create);
    int fd() const { return root_.get(); }

    // The directory at `components` below `from` (names below the root, the root when empty).
    // Links met on the way are followed while they stay beneath the root; missing directories
    // are created with mode 0755 when `create` is set. Fails with FileError
    // fileReadInvalidFileName (naming `display`) when the path leads out, and with the system
    // error otherwise.
    Location directory(const std::vector<std::string>& from,
                       const std::vector<std::string>& components, bool create,
                       const std::string& display) const;

    // Whether a link in the directory `from` whose target is `target` leads to a place beneath
    // the root, judged through the items on disk now: existing links are followed, missing
    // components are taken by their text.
    bool contains(const std::vector<std::string>& from, std::string_view target) const;

  private:
    // Walks `components` from `from`; nothing when the walk leaves the root. With `lenient`,
    // the walk goes on by the components' text once an item is missing or no directory.
    std::optional<Location> walk(const std::vector<std::string>& from,
                                 std::vector<std::string> components, bool create, bool lenient,
                                 const std::string& display) const;

    // The components below the root of an absolute path; nothing when it lies elsewhere.
    std::optional<std::vector<std::string>> belowRoot(std::string_view absolute,
                                                      const std::string& display) const;

    FileDescriptor root_;
    std::filesystem::path rootPath_;  // canonical, to place absolute link targets
};

// Where an item is extracted to: a name in a directory beneath a root.
struct Placement {
    const Beneath& beneath;
    const Location& parent;
    std::string name;     // neither empty, ".", ".." nor holding a slash
    std::string display;  // the item's path, for messages
};

// Extraction of `entry` as the item `placement` names, with the entry's permissions and
// modification time set on the open item. A link whose target leads out of the root fails with
// uncontainedSymlink unless `allowUncontainedSymlinks`. What the extraction created is removed
// when it fails.
uint32_t extractAt(const Archive& archive, const Entry& entry, const Placement& placement,
                   int64_t bufferSize, bool skipCRC32, bool allowUncontainedSymlinks,
                   Progress* progress);

// A date as the system's time stamps hold it.
timespec timespecOf(Date date);
// Sets the permissions and modification time on an open item.
void applyAttributes(int fd, const FileAttributes& attributes, const std::string& display);

}  // namespace zip::detail
