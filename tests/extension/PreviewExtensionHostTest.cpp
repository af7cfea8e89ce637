// The plug-in as a host loads it, and the `vaun-preview` panel's headless self-test.
#include "PreviewExtension.h"
#include "PreviewPanel.h"

#include "TestAudio.h"

#include <QPluginLoader>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <fstream>

namespace vaun::test {
namespace {

std::filesystem::path stereoTone(const std::filesystem::path& path) {
    writeWav(path, {sine(440, 0.3, 48000, 48000), sine(550, 0.3, 48000, 48000)}, 48000);
    return path;
}

TEST(PreviewPlugin, LoadsFromTheBuildTreeAndAutoplaysWhenShown) {
    TempDir dir;
    QPluginLoader loader(QStringLiteral(VAUN_PREVIEW_PLUGIN_PATH));
    auto* extension = qobject_cast<PreviewExtension*>(loader.instance());
    ASSERT_NE(extension, nullptr) << loader.errorString().toStdString();
    EXPECT_EQ(extension->version(), PreviewExtension::interfaceVersion);
    {
        std::unique_ptr<QWidget> view(extension->createPreviewWidget());
        ASSERT_NE(view, nullptr);
        extension->setOfflinePlayback(true);
        int calls = 0;
        bool succeeded = false;
        extension->preparePreviewOfFile(QString::fromStdString(stereoTone(dir / "a.wav").string()),
                                        [&](bool ok, const QString&) {
                                            ++calls;
                                            succeeded = ok;
                                        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 20000));
        EXPECT_TRUE(succeeded);
        EXPECT_FALSE(extension->isPlaying());
        extension->viewDidAppear();
        EXPECT_TRUE(extension->isPlaying());
        extension->viewWillDisappear();
        EXPECT_FALSE(extension->isPlaying());
    }
    // The widget's code lives in the library: it goes first.
    EXPECT_TRUE(loader.unload());
}

TEST(PreviewPanel, WalksTheListAndStopsWhenClosed) {
    TempDir dir;
    QPluginLoader loader(QStringLiteral(VAUN_PREVIEW_PLUGIN_PATH));
    auto* extension = qobject_cast<PreviewExtension*>(loader.instance());
    ASSERT_NE(extension, nullptr);
    extension->setOfflinePlayback(true);
    {
        const QString a = QString::fromStdString(stereoTone(dir / "a.wav").string());
        const QString b = QString::fromStdString(stereoTone(dir / "b.wav").string());
        PreviewPanel panel(*extension, {a, b});
        int prepared = 0;
        panel.setOnPrepared([&](bool ok, const QString&) { prepared += ok; });
        bool closed = false;
        QObject::connect(&panel, &PreviewPanel::closed, [&] { closed = true; });
        panel.open();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
        ASSERT_TRUE(QTest::qWaitFor([&] { return extension->isPlaying(); }, 20000));

        QTest::keyClick(&panel, Qt::Key_Down);
        EXPECT_EQ(panel.currentIndex(), 1);
        EXPECT_EQ(panel.windowTitle(), "b.wav");
        // The panel stays up, so the next file plays once loaded.
        ASSERT_TRUE(QTest::qWaitFor([&] { return prepared == 2 && extension->isPlaying(); }, 20000));
        QTest::keyClick(&panel, Qt::Key_PageUp);
        EXPECT_EQ(panel.currentIndex(), 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return prepared == 3 && extension->isPlaying(); }, 20000));

        QTest::keyClick(&panel, Qt::Key_Space);
        EXPECT_FALSE(extension->isPlaying());
        QTest::keyClick(&panel, Qt::Key_Space);
        EXPECT_TRUE(extension->isPlaying());

        QTest::keyClick(&panel, Qt::Key_Escape);
        EXPECT_TRUE(closed);
        EXPECT_FALSE(extension->isPlaying());
    }
    EXPECT_TRUE(loader.unload());
}

// Runs the panel with no sound server to be found.
struct ToolRun {
    int status = -1;
    QString out, err;
};
ToolRun selfTest(const std::filesystem::path& file, const TempDir& runtime) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("PULSE_SERVER"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.path().string()));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(VAUN_PREVIEW_PROGRAM), {QStringLiteral("--self-test"), QString::fromStdString(file.string())});
    ToolRun run;
    if (!process.waitForFinished(120000)) return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

TEST(VaunPreviewSelfTest, PassesWithoutASoundServerAndFailsOnANonAudioFile) {
    TempDir dir, runtime;
    std::filesystem::permissions(runtime.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::replace);

    const ToolRun pass = selfTest(stereoTone(dir / "a.wav"), runtime);
    EXPECT_EQ(pass.status, 0) << pass.err.toStdString();
    EXPECT_TRUE(pass.out.contains("preview PASS")) << pass.out.toStdString();

    const auto text = dir / "readme.txt";
    std::ofstream(text) << "plain words\n";
    const ToolRun fail = selfTest(text, runtime);
    EXPECT_EQ(fail.status, 2);
    EXPECT_TRUE(fail.err.contains("preview FAIL: prepare")) << fail.err.toStdString();
    EXPECT_FALSE(fail.out.contains("PASS"));
}

} // namespace
} // namespace vaun::test
