// Arbitrary bytes opened as an in-memory archive; every entry is extracted into a bounded
// consumer. Opening may fail and extraction may throw typed errors; nothing may crash, hang or
// allocate from a header's claim.
#include <cstddef>
#include <cstdint>

#include "zip/archive.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zip;
    auto archive = Archive::open(Bytes(data, data + size), Archive::AccessMode::read);
    if (!archive) return 0;
    size_t entries = 0;
    for (auto it = archive->makeIterator(); auto entry = it.next();) {
        if (++entries > 256) break;
        (void)entry->path();
        (void)entry->type();
        (void)entry->localSize();
        (void)archive->entry(entry->path());
        size_t total = 0;
        try {
            archive->extract(*entry, 4096, false, nullptr, [&](ByteView piece) {
                total += piece.size();
                if (total > (size_t{1} << 22)) throw DataError(DataError::Case::unwritableFile);
            });
        } catch (const Error&) {}
    }
    return 0;
}
