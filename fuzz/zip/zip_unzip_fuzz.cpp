// Arbitrary bytes unzipped into a fresh directory: the extraction may fail with typed errors, but
// nothing may crash, and nothing may appear outside the destination, nor may a symbolic link left
// inside it lead out.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "zip/file_system.hpp"
#include "zip/tree.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path& scratch() {
    static const fs::path dir = [] {
        std::string pattern = (fs::temp_directory_path() / "zip-unzip-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return fs::path(pattern);
    }();
    return dir;
}

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path archive = scratch() / "input.zip";
    const fs::path out = scratch() / "out";
    {
        std::ofstream file(archive, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        zip::unzipItem(archive, out);
    } catch (const zip::Error&) {
    }
    // Only the archive and the destination lie in the scratch directory.
    for (const auto& item : fs::directory_iterator(scratch())) {
        check(item.path() == archive || item.path() == out);
    }
    std::error_code ec;
    const fs::path root = fs::canonical(out, ec);
    for (fs::recursive_directory_iterator it(out, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_symlink(ec)) continue;
        const fs::path leadsTo =
            fs::weakly_canonical(it->path().parent_path() / fs::read_symlink(it->path(), ec), ec);
        check(ec || zip::isInside(leadsTo, root));
    }
    fs::permissions(scratch(), fs::perms::owner_all, fs::perm_options::add, ec);
    for (fs::recursive_directory_iterator it(out, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(out, ec);
    return 0;
}
