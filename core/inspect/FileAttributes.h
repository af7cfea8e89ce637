#pragma once
// Size and dates of a file as the file system records them.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace vaun {

struct FileAttributes {
    using Date = std::chrono::system_clock::time_point;

    std::int64_t sizeBytes = 0;
    // Birth time; absent where the file system does not record it.
    std::optional<Date> creationDate;
    std::optional<Date> modificationDate;

    bool operator==(const FileAttributes&) const = default;

    // Follows symbolic links. Throws SystemError (errno) when the file cannot be examined.
    static FileAttributes read(const std::filesystem::path& path);
};

} // namespace vaun
