// Launching `vaun FILE` while an instance runs: the running one shows FILE, the new launch
// ends at once. Both run offscreen on a private session bus.
//
// What the running instance shows cannot be read from outside without a debugging hook, so
// the test watches what showing a file takes: the file is opened, and the running instance
// (by its process id) reads at least the file's size, which only decoding its waveform does.
#include "DesktopTestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

namespace vaun::test {
namespace {

constexpr const char* kName = "com.zorel.Vaun";

std::filesystem::path stereoTone(const std::filesystem::path& path, double seconds) {
    const auto tone = sine(440, 0.5, 48000, std::int64_t(48000 * seconds));
    writeWav(path, {tone, tone}, 48000);
    return path;
}

TEST(DesktopHandOver, ASecondLaunchHandsItsFileToTheRunningInstance) {
    TempDir dir;
    const auto first = stereoTone(dir / "first.wav", 0.2);
    const auto second = stereoTone(dir / "second.wav", 8); // 2.3 MB
    ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
    // As in a desktop session, so that the program has nothing to complain about.
    std::filesystem::create_directory(dir / "runtime");
    std::filesystem::permissions(dir / "runtime", std::filesystem::perms::owner_all);
    ScopedEnv runtime("XDG_RUNTIME_DIR", (dir / "runtime").string());
    PrivateBus bus(dir.path());
    ScopedEnv session("DBUS_SESSION_BUS_ADDRESS", bus.address());
    OpenWatch firstOpened(first), secondOpened(second);

    ChildProcess running({VAUN_BINARY, first.string()}, dir / "running.out", dir / "running.err");
    ASSERT_TRUE(waitFor([&] { return bus.nameOwner(kName).has_value(); }, 20)) << slurp(dir / "running.err");
    const auto owner = bus.nameOwner(kName);
    ASSERT_EQ(bus.ownerPid(kName), running.pid());
    // The file on the first command line is the launch hand-over.
    EXPECT_TRUE(firstOpened.opened(10));

    // Quiet once the first file is shown and measured.
    long long before = -1;
    ASSERT_TRUE(waitFor(
        [&] {
            const long long now = bytesRead(running.pid()).value_or(-1);
            return std::exchange(before, now) == now;
        },
        10));
    EXPECT_FALSE(secondOpened.opened(0));

    const auto start = std::chrono::steady_clock::now();
    ChildProcess launch({VAUN_BINARY, second.string()}, dir / "launch.out", dir / "launch.err");
    const auto status = launch.wait(20);
    const auto took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(status.has_value()) << "the second launch did not end";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << slurp(dir / "launch.err");
    EXPECT_LT(took, 10.0);
    EXPECT_EQ(slurp(dir / "launch.out") + slurp(dir / "launch.err"), "");

    EXPECT_TRUE(secondOpened.opened(10));
    const auto size = static_cast<long long>(std::filesystem::file_size(second));
    EXPECT_TRUE(waitFor([&] { return bytesRead(running.pid()).value_or(0) - before >= size; }, 15))
        << "the running instance read " << bytesRead(running.pid()).value_or(0) - before << " of " << size
        << " bytes";
    EXPECT_TRUE(running.running());
    EXPECT_EQ(bus.nameOwner(kName), owner);
}

} // namespace
} // namespace vaun::test
