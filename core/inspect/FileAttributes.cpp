#include "inspect/FileAttributes.h"

#include "common/Errors.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <system_error>

namespace vaun {
namespace {

[[noreturn]] void failSystem(int err, const std::filesystem::path& path) {
    throw SystemError(err, std::generic_category().message(err) + ": " + path.string());
}

// Absent when the time does not fit the clock (system_clock counts nanoseconds in 64 bits,
// about ±292 years around 1970); file systems can hold times far outside that.
std::optional<FileAttributes::Date> dateOf(std::int64_t seconds, std::uint32_t nanoseconds) {
    using Clock = std::chrono::system_clock;
    constexpr auto limit = std::chrono::duration_cast<std::chrono::seconds>(Clock::duration::max()).count() - 1;
    if (seconds > limit || seconds < -limit || nanoseconds >= 1'000'000'000u) return std::nullopt;
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(seconds)) +
                             std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanoseconds)));
}

} // namespace

FileAttributes FileAttributes::read(const std::filesystem::path& path) {
    struct statx sx {};
    const unsigned wanted = STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_BTIME;
    if (::statx(AT_FDCWD, path.c_str(), AT_STATX_SYNC_AS_STAT, wanted, &sx) != 0) {
        const int err = errno;
        if (err != ENOSYS) failSystem(err, path);
        // Kernels before 4.11: no birth time.
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) failSystem(errno, path);
        FileAttributes a;
        a.sizeBytes = std::int64_t(st.st_size);
        a.modificationDate = dateOf(st.st_mtim.tv_sec, std::uint32_t(st.st_mtim.tv_nsec));
        return a;
    }
    FileAttributes a;
    if (sx.stx_mask & STATX_SIZE)
        a.sizeBytes = sx.stx_size > std::uint64_t(std::numeric_limits<std::int64_t>::max()) ? 0 : std::int64_t(sx.stx_size);
    if (sx.stx_mask & STATX_BTIME) a.creationDate = dateOf(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
    if (sx.stx_mask & STATX_MTIME) a.modificationDate = dateOf(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
    return a;
}

} // namespace vaun
