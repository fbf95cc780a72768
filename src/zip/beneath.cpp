#include "beneath.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

#include "zip/file_system.hpp"

namespace zip::detail {
namespace {

namespace fs = std::filesystem;

// More links than this on one walk is a loop, as the system counts it.
constexpr int kMaxLinks = 40;

// The target of the link held open by `link` (an O_PATH descriptor of the link itself).
std::string linkTarget(int link, const std::string& display) {
    std::string target(4096, '\0');
    const ssize_t n = ::readlinkat(link, "", target.data(), target.size());
    if (n < 0) throw FileError::posix(errno, display);
    target.resize(static_cast<size_t>(n));
    return target;
}

FileDescriptor duplicate(int fd, const std::string& display) {
    FileDescriptor copy(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (copy.get() < 0) throw FileError::posix(errno, display);
    return copy;
}

}  // namespace

std::vector<std::string> pathComponents(std::string_view path, const std::string& display) {
    if (path.find('\0') != std::string_view::npos) {
        throw ArchiveError(ArchiveError::Case::invalidEntryPath, display,
                           "the name holds a NUL byte");
    }
    std::vector<std::string> components;
    while (!path.empty()) {
        const size_t slash = path.find('/');
        const std::string_view component = path.substr(0, slash);
        if (!component.empty() && component != ".") components.emplace_back(component);
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return components;
}

Beneath::Beneath(const fs::path& root, bool create) {
    const fs::path where = root.empty() ? fs::path(".") : root;
    if (create) {
        std::error_code ec;
        fs::create_directories(where, ec);
        if (ec) throw FileError::posix(ec.value(), where.string());
    }
    root_ = FileDescriptor(::open(where.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (root_.get() < 0) throw FileError::posix(errno, where.string());
    std::error_code ec;
    rootPath_ = fs::canonical(where, ec);
    if (ec) throw FileError::posix(ec.value(), where.string());
}

std::optional<Location> Beneath::walk(const std::vector<std::string>& from,
                                      std::vector<std::string> components, bool create,
                                      bool lenient, const std::string& display) const {
    std::deque<std::string> pending(from.begin(), from.end());
    pending.insert(pending.end(), components.begin(), components.end());
    // fds[i] holds names[i]; past a missing item (lenient walks only) names run on alone.
    std::vector<FileDescriptor> fds;
    std::vector<std::string> names;
    int links = 0;
    auto top = [&] { return fds.empty() ? root_.get() : fds.back().get(); };
    while (!pending.empty()) {
        std::string component = std::move(pending.front());
        pending.pop_front();
        if (component.empty() || component == ".") continue;
        if (component == "..") {
            if (names.empty()) return std::nullopt;
            if (fds.size() == names.size()) fds.pop_back();
            names.pop_back();
            continue;
        }
        if (fds.size() != names.size()) {
            names.push_back(std::move(component));
            continue;
        }
        FileDescriptor fd(::openat(top(), component.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (fd.get() < 0) {
            const int error = errno;
            if (error == ENOENT && create) {
                if (::mkdirat(top(), component.c_str(), 0755) != 0 && errno != EEXIST)
                    throw FileError::posix(errno, display);
                if (++links > kMaxLinks) throw FileError::posix(ELOOP, display);
                pending.push_front(std::move(component));  // open what is there now
                continue;
            }
            if (lenient && (error == ENOENT || error == ENOTDIR)) {
                names.push_back(std::move(component));
                continue;
            }
            throw FileError::posix(error, display);
        }
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) throw FileError::posix(errno, display);
        if (S_ISLNK(st.st_mode)) {
            if (++links > kMaxLinks) throw FileError::posix(ELOOP, display);
            const std::string target = linkTarget(fd.get(), display);
            std::vector<std::string> steps = pathComponents(target, display);
            if (!target.empty() && target.front() == '/') {
                auto fromRoot = belowRoot(target, display);
                if (!fromRoot) return std::nullopt;
                steps = std::move(*fromRoot);
                fds.clear();
                names.clear();
            }
            pending.insert(pending.begin(), steps.begin(), steps.end());
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            if (lenient) {
                names.push_back(std::move(component));
                continue;
            }
            throw FileError::posix(ENOTDIR, display);
        }
        fds.push_back(std::move(fd));
        names.push_back(std::move(component));
    }
    Location location;
    location.fd = fds.empty() || fds.size() != names.size() ? duplicate(top(), display)
                                                            : std::move(fds.back());
    location.names = std::move(names);
    return location;
}

Location Beneath::directory(const std::vector<std::string>& from,
                            const std::vector<std::string>& components, bool create,
                            const std::string& display) const {
    auto location = walk(from, components, create, false, display);
    if (!location) throw FileError(FileError::Case::fileReadInvalidFileName, display);
    return std::move(*location);
}

std::optional<std::vector<std::string>> Beneath::belowRoot(std::string_view absolute,
                                                           const std::string& display) const {
    // An absolute target counts only where it lies beneath the root.
    const fs::path normal = fs::path(absolute).lexically_normal();
    if (!isInside(normal, rootPath_)) return std::nullopt;
    return pathComponents(normal.lexically_relative(rootPath_).string(), display);
}

bool Beneath::contains(const std::vector<std::string>& from, std::string_view target) const {
    const std::string display(target);
    if (target.empty()) return false;
    try {
        if (target.front() != '/')
            return walk(from, pathComponents(target, display), false, true, display).has_value();
        auto fromRoot = belowRoot(target, display);
        return fromRoot && walk({}, std::move(*fromRoot), false, true, display).has_value();
    } catch (const FileError&) {
        return false;  // a loop or an unreadable item: not known to stay inside
    }
}

}  // namespace zip::detail
