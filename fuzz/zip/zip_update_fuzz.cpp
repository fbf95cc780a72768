// Arbitrary bytes opened as an in-memory archive for update; the first entry is removed, entries
// are added alone and in a transaction, and the result is walked and extracted. Every step may
// fail with a typed error; nothing may crash, hang, or leave an archive that no longer opens
// after a failed step was rolled back.
#include <cstddef>
#include <cstdint>

#include "zip/archive.hpp"

namespace {

void extractAll(const zip::Archive& archive) {
    size_t entries = 0;
    for (auto it = archive.makeIterator(); auto entry = it.next();) {
        if (++entries > 64) break;
        size_t total = 0;
        try {
            archive.extract(*entry, 4096, false, nullptr, [&](zip::ByteView piece) {
                total += piece.size();
                if (total > (size_t{1} << 20))
                    throw zip::DataError(zip::DataError::Case::unwritableFile);
            });
        } catch (const zip::Error&) {}
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zip;
    auto archive = Archive::open(Bytes(data, data + size), Archive::AccessMode::update);
    if (!archive) return 0;
    const Bytes payload(data, data + std::min<size_t>(size, 300));
    const auto provider = [&](int64_t position, size_t count) {
        return Bytes(payload.begin() + position,
                     payload.begin() + position + static_cast<long>(count));
    };
    auto add = [&](const char* path, CompressionMethod method) {
        archive->addEntry(path, Entry::EntryType::file, static_cast<int64_t>(payload.size()),
                          Date{}, std::nullopt, method, 64, nullptr, provider);
    };
    try {
        if (auto first = archive->makeIterator().next()) archive->remove(*first, 128);
    } catch (const Error&) {}
    const Bytes before = *archive->data();
    try {
        add("added.bin", CompressionMethod::deflate);
    } catch (const Error&) {
        // A refused or failed addition leaves the bytes as they were.
        if (*archive->data() != before) __builtin_trap();
    }
    try {
        auto transaction = archive->beginTransaction();
        add("one", CompressionMethod::none);
        add("two/", CompressionMethod::deflate);
        transaction.commit();
    } catch (const Error&) {}
    extractAll(*archive);
    return 0;
}
