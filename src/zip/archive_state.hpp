// The shared state behind Archive handles and their iterators.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "zip/archive.hpp"

namespace zip::detail {

struct ArchiveState {
    ~ArchiveState() {
        if (file != nullptr) std::fclose(file);
    }
    std::optional<std::filesystem::path> path;  // none for a memory archive
    std::string url;
    Archive::AccessMode accessMode = Archive::AccessMode::read;
    FILE* file = nullptr;
    EndOfCentralDirectoryRecord endOfCentralDirectoryRecord;
    std::optional<Archive::ZIP64EndOfCentralDirectory> zip64EndOfCentralDirectory;
    std::optional<TextEncoding> pathEncoding;
    std::shared_ptr<MemoryFile> memoryFile;
};

// The stream's size: its end position. Nothing when the stream cannot be positioned.
std::optional<uint64_t> streamSize(FILE* file);
// Exactly `count` bytes at `offset`, when they lie inside the first `fileSize` bytes and can be
// read; nothing otherwise.
std::optional<Bytes> readAt(FILE* file, uint64_t offset, size_t count, uint64_t fileSize);
// A provider of record variable parts read on from the stream's position, refusing to go past
// `limit` bytes.
AdditionalDataProvider streamProvider(FILE* file, uint64_t limit);

}  // namespace zip::detail
