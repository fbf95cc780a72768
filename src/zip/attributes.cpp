#include "zip/attributes.hpp"

#include "beneath.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>

namespace zip {
namespace {

std::optional<std::tm> brokenDown(Date date) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(date.time_since_epoch());
    const time_t t = static_cast<time_t>(seconds.count());
    std::tm tm{};
    if (gmtime_r(&t, &tm) == nullptr) return std::nullopt;
    return tm;
}


}  // namespace

namespace detail {

timespec timespecOf(Date date) {
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(date.time_since_epoch()).count();
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    if (ts.tv_nsec < 0) {
        ts.tv_nsec += 1'000'000'000;
        ts.tv_sec -= 1;
    }
    return ts;
}

}  // namespace detail

uint16_t dosDate(Date date) {
    auto tm = brokenDown(date);
    if (!tm) return 0;
    const int year = std::max(std::min(tm->tm_year + 1900, 2099), 1980);
    return static_cast<uint16_t>((year - 1980) * 512 + (tm->tm_mon + 1) * 32 + tm->tm_mday);
}

uint16_t dosTime(Date date) {
    auto tm = brokenDown(date);
    if (!tm) return 0;
    return static_cast<uint16_t>(tm->tm_hour * 2048 + tm->tm_min * 32 + tm->tm_sec / 2);
}

Date dateFromDOS(uint16_t dosDate, uint16_t dosTime) {
    std::tm tm{};
    tm.tm_sec = (dosTime & 0x1F) * 2;
    tm.tm_min = (dosTime >> 5) & 0x3F;
    tm.tm_hour = (dosTime >> 11) & 0x1F;
    tm.tm_mday = dosDate & 0x1F;
    tm.tm_mon = ((dosDate >> 5) & 0x0F) - 1;
    tm.tm_year = ((dosDate >> 9) & 0x7F) + 80;
    return Date(std::chrono::seconds(timegm(&tm)));
}

timeval timevalFromSeconds(double secondsSince1970) {
    timeval tv{};
    const double whole = std::trunc(secondsSince1970);
    tv.tv_sec = static_cast<time_t>(whole);
    tv.tv_usec =
        static_cast<suseconds_t>(static_cast<int32_t>((secondsSince1970 - whole) * 1'000'000));
    return tv;
}

std::optional<HostSystem> hostSystem(unsigned rawValue) {
    switch (rawValue) {
        case 0:
            return HostSystem::msdos;
        case 3:
            return HostSystem::unix;
        case 19:
            return HostSystem::osx;
        case 20:
            return HostSystem::unassigned;
        default:
            return std::nullopt;
    }
}

uint16_t permissions(uint32_t externalFileAttributes, std::optional<HostSystem> host,
                     Entry::EntryType type) {
    const uint16_t fallback =
        type == Entry::EntryType::directory ? defaultDirectoryPermissions : defaultFilePermissions;
    if (host != HostSystem::unix && host != HostSystem::osx) return fallback;
    const auto p = static_cast<uint16_t>((externalFileAttributes >> 16) & ~uint32_t{S_IFMT});
    return p == 0 ? fallback : p;
}

FileAttributes attributes(const Entry& entry) {
    const auto& record = entry.centralDirectoryStructure();
    const Entry::EntryType type = entry.type();
    FileAttributes result;
    result.posixPermissions =
        type == Entry::EntryType::directory ? defaultDirectoryPermissions : defaultFilePermissions;
    result.modificationDate = dateFromDOS(record.lastModFileDate, record.lastModFileTime);
    if (auto host = hostSystem(record.versionMadeBy >> 8)) {
        result.posixPermissions = permissions(record.externalFileAttributes, host, type);
    }
    return result;
}

FileAttributes extractionAttributes(const Entry& entry) {
    FileAttributes result = attributes(entry);
    if (result.posixPermissions) *result.posixPermissions &= ~uint16_t{S_ISUID | S_ISGID};
    return result;
}

void setAttributes(const Entry& entry, const std::filesystem::path& item) {
    setAttributes(attributes(entry), item, entry.type() != Entry::EntryType::symlink);
}

void setAttributes(const FileAttributes& attributes, const std::filesystem::path& item,
                   bool followingLinks) {
    if (!followingLinks) {
        if (!attributes.posixPermissions) {
            throw EntryError(EntryError::Case::missingPermissionsAttributeError, item.string());
        }
        setSymlinkPermissions(*attributes.posixPermissions, item);
        if (!attributes.modificationDate) {
            throw EntryError(EntryError::Case::missingModificationDateAttributeError,
                             item.string());
        }
        setSymlinkModificationDate(*attributes.modificationDate, item);
        return;
    }
    if (attributes.posixPermissions && ::chmod(item.c_str(), *attributes.posixPermissions) != 0) {
        throw FileError::posix(errno, item.string());
    }
    if (attributes.modificationDate) {
        const timespec times[2] = {{0, UTIME_OMIT}, detail::timespecOf(*attributes.modificationDate)};
        if (::utimensat(AT_FDCWD, item.c_str(), times, 0) != 0) {
            throw FileError::posix(errno, item.string());
        }
    }
}

void setSymlinkPermissions(uint16_t, const std::filesystem::path& link) {
    struct stat st {};
    if (::lstat(link.c_str(), &st) != 0) throw FileError::posix(errno, link.string());
}

void setSymlinkModificationDate(Date date, const std::filesystem::path& link) {
    const timespec times[2] = {{0, UTIME_OMIT}, detail::timespecOf(date)};
    if (::utimensat(AT_FDCWD, link.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        throw FileError::posix(errno, link.string());
    }
}

}  // namespace zip
