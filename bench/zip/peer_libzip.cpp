#include "peer_libzip.hpp"

#include <zip.h>

namespace zipbench {

std::string libzipExtractEveryEntry(const char* path, const std::function<void()>& begin,
                                    const std::function<void(const uint8_t*, size_t)>& piece,
                                    const std::function<void()>& end) {
    int error = 0;
    zip_t* archive = zip_open(path, ZIP_RDONLY, &error);
    if (archive == nullptr) return "libzip cannot open the archive";
    uint8_t buffer[16384];
    std::string failure;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count && failure.empty(); ++i) {
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        if (file == nullptr) {
            failure = "libzip cannot open entry " + std::to_string(i);
            break;
        }
        begin();
        zip_int64_t n;
        while ((n = zip_fread(file, buffer, sizeof buffer)) > 0)
            piece(buffer, static_cast<size_t>(n));
        // A CRC-32 mismatch shows as a failed read.
        if (n < 0) failure = "libzip failed to read entry " + std::to_string(i);
        zip_fclose(file);
        end();
    }
    zip_discard(archive);
    return failure;
}

}  // namespace zipbench
