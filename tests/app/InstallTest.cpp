// `cmake --install` into a fresh prefix: the program and the desktop's files land where the
// desktop looks, pass the desktop's own validators, and the bus service file starts the
// installed program when the desktop asks for the application by its name.
#include "DesktopTestSupport.h"

#include <gtest/gtest.h>

namespace vaun::test {
namespace {

bool installed(const std::string& tool) { return run("command -v " + tool + " >/dev/null 2>&1") == 0; }

class Install : public ::testing::Test {
protected:
    TempDir dir;
    std::filesystem::path prefix = dir / "prefix";

    void SetUp() override {
        ASSERT_EQ(run(shellQuote(VAUN_CMAKE) + " --install " + shellQuote(VAUN_BUILD_DIR) + " --prefix " +
                      shellQuote(prefix.string()) + " >" + shellQuote((dir / "install.log").string()) + " 2>&1"),
                  0)
            << slurp(dir / "install.log");
    }

    std::filesystem::path share(const std::string& relative) const { return prefix / "share" / relative; }
};

TEST_F(Install, PutsTheProgramAndValidDesktopFilesInPlace) {
    EXPECT_TRUE(std::filesystem::is_regular_file(prefix / "bin/vaun"));
    EXPECT_TRUE(std::filesystem::is_regular_file(share("icons/hicolor/scalable/apps/com.zorel.Vaun.svg")));
    const auto service = slurp(share("dbus-1/services/com.zorel.Vaun.service"));
    EXPECT_NE(service.find("Name=com.zorel.Vaun\n"), std::string::npos) << service;
    EXPECT_NE(service.find("Exec=" + (prefix / "bin/vaun").string()), std::string::npos) << service;

    if (!installed("desktop-file-validate") || !installed("appstreamcli"))
        GTEST_SKIP() << "desktop-file-validate or appstreamcli is missing (scripts/setup installs them)";
    const auto entry = share("applications/com.zorel.Vaun.desktop");
    const auto check = dir / "check.log";
    EXPECT_EQ(run("desktop-file-validate " + shellQuote(entry.string()) + " >" + shellQuote(check.string()) + " 2>&1"), 0)
        << slurp(check);
    EXPECT_EQ(slurp(check), "");
    EXPECT_EQ(run("appstreamcli validate --no-net " + shellQuote(share("metainfo/com.zorel.Vaun.metainfo.xml").string()) +
                  " >" + shellQuote(check.string()) + " 2>&1"),
              0)
        << slurp(check);
}

// What a desktop does for an entry with DBusActivatable=true: it calls Open on the name, and
// the bus starts the program from the installed service file.
TEST_F(Install, TheBusStartsTheInstalledProgramToOpenAFile) {
    const auto file = dir / "tone.wav";
    writeWav(file, {sine(440, 0.5, 48000, 4800)}, 48000);
    OpenWatch opened(file);
    ScopedEnv platform("QT_QPA_PLATFORM", "offscreen"); // handed down by the bus
    PrivateBus bus(dir.path(), share("dbus-1/services"));
    const auto reply = bus.call("com.zorel.Vaun", "/com/zorel/Vaun", "org.freedesktop.Application.Open",
                                shellQuote("['file://" + file.string() + "']") + " '{}'");
    const auto pid = bus.ownerPid("com.zorel.Vaun");
    ASSERT_TRUE(reply.has_value());
    ASSERT_TRUE(pid.has_value());
    const auto program = programOf(*pid);
    // Started by the bus, it would outlive it; end it once it is known to be the one installed.
    const EndsProcess started(program == prefix / "bin/vaun" ? *pid : -1);
    EXPECT_EQ(program, prefix / "bin/vaun");
    EXPECT_TRUE(opened.opened(10));
}

} // namespace
} // namespace vaun::test
