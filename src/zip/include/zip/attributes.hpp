// MS-DOS date and time fields (always UTC, never the local time zone) and the file attributes an
// extracted item receives from its entry.
#pragma once

#include <sys/time.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "zip/entry.hpp"

namespace zip {

using Date = std::chrono::system_clock::time_point;

// Years are clamped to 1980...2099; odd seconds lose their last second.
uint16_t dosDate(Date date);
uint16_t dosTime(Date date);
// Out-of-range fields are normalised as timegm does (date 0 is 1979-11-30).
Date dateFromDOS(uint16_t dosDate, uint16_t dosTime);
timeval timevalFromSeconds(double secondsSince1970);

// The host system in the high byte of "version made by", as far as permissions care.
enum class HostSystem { msdos = 0, unix = 3, osx = 19, unassigned = 20 };
std::optional<HostSystem> hostSystem(unsigned rawValue);

constexpr uint16_t defaultFilePermissions = 0644;
constexpr uint16_t defaultDirectoryPermissions = 0755;

// The permission bits (special bits included) stored for UNIX hosts, else the type's default.
uint16_t permissions(uint32_t externalFileAttributes, std::optional<HostSystem> host,
                     Entry::EntryType type);

struct FileAttributes {
    std::optional<uint16_t> posixPermissions;
    std::optional<Date> modificationDate;
};

// The permissions and modification date an item extracted from `entry` receives.
FileAttributes attributes(const Entry& entry);
// The attributes an item extracted to disk receives: those of attributes(), without the
// set-user-ID and set-group-ID bits, which an archive from elsewhere must not grant.
FileAttributes extractionAttributes(const Entry& entry);
// Applies the entry's attributes to the extracted item; a symbolic link itself is changed, not
// its target.
void setAttributes(const Entry& entry, const std::filesystem::path& item);
void setAttributes(const FileAttributes& attributes, const std::filesystem::path& item,
                   bool followingLinks);
// Linux cannot change a symbolic link's own mode: the call checks the link exists and does
// nothing else.
void setSymlinkPermissions(uint16_t permissions, const std::filesystem::path& link);
// Sets the link's own modification time, keeping its access time.
void setSymlinkModificationDate(Date date, const std::filesystem::path& link);

}  // namespace zip
