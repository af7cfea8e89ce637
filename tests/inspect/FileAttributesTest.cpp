// Size and dates as the file system records them, including times the clock cannot hold.
#include "TestAudio.h"
#include "common/Errors.h"
#include "inspect/FileAttributes.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>

namespace vaun::test {
namespace {

std::filesystem::path write(const TempDir& dir, const std::string& name, std::size_t size) {
    const auto path = dir / name;
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
    return path;
}

bool setTimes(const std::filesystem::path& path, std::int64_t seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

TEST(FileAttributes, SizeAndModificationDate) {
    TempDir dir;
    const auto path = write(dir, "a.bin", 12345);
    ASSERT_TRUE(setTimes(path, 1796047509, 250000000));
    const auto a = FileAttributes::read(path);
    EXPECT_EQ(a.sizeBytes, 12345);
    ASSERT_TRUE(a.modificationDate.has_value());
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(a.modificationDate->time_since_epoch()).count(),
              1796047509250);
    EXPECT_EQ(FileAttributes::read(write(dir, "empty", 0)).sizeBytes, 0);
}

TEST(FileAttributes, CreationDateWhereTheFileSystemKeepsIt) {
    TempDir dir;
    const auto path = write(dir, "born", 1);
    ASSERT_TRUE(setTimes(path, 1000, 0)); // moves the modification time, never the birth time
    const auto a = FileAttributes::read(path);
    struct statx sx {};
    ASSERT_EQ(::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &sx), 0);
    if (!(sx.stx_mask & STATX_BTIME)) {
        EXPECT_EQ(a.creationDate, std::nullopt);
        return;
    }
    ASSERT_TRUE(a.creationDate.has_value());
    EXPECT_LT(std::chrono::abs(std::chrono::system_clock::now() - *a.creationDate), std::chrono::minutes(5));
    EXPECT_EQ(a.modificationDate, std::chrono::system_clock::time_point(std::chrono::seconds(1000)));
}

TEST(FileAttributes, TimesBeyondTheClockAreAbsent) {
    TempDir dir;
    const auto path = write(dir, "future", 1);
    // 2400-01-01: past the year 2262 that nanoseconds in 64 bits reach.
    if (!setTimes(path, 13569465600, 0)) GTEST_SKIP() << "file system refuses the time";
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    if (st.st_mtim.tv_sec != 13569465600) GTEST_SKIP() << "file system clamps the time";
    EXPECT_EQ(FileAttributes::read(path).modificationDate, std::nullopt);
}

TEST(FileAttributes, FollowsLinksAndReportsErrno) {
    TempDir dir;
    const auto target = write(dir, "target", 777);
    std::filesystem::create_symlink(target, dir / "link");
    EXPECT_EQ(FileAttributes::read(dir / "link").sizeBytes, 777);
    try {
        FileAttributes::read(dir / "nothing");
        ADD_FAILURE() << "no error";
    } catch (const SystemError& e) {
        EXPECT_EQ(e.code(), ENOENT);
        EXPECT_EQ(e.domain(), "POSIX");
        EXPECT_NE(e.description().find("nothing"), std::string::npos);
    }
    std::filesystem::create_symlink(dir / "gone", dir / "dangling");
    EXPECT_THROW(FileAttributes::read(dir / "dangling"), SystemError);
}

} // namespace
} // namespace vaun::test
