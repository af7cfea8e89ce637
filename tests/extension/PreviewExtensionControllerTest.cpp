// The extension's controller driven the way a file manager's preview service drives it:
// prepare requests, the view appearing and disappearing, in every order the host may use.
#include "VaunPreviewViewController.h"

#include "PreviewFixtures.h"
#include "TestAudio.h"

#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace vaun::test {
namespace {

using Outcome = PrepareOutcome;

class ExtensionController : public ::testing::Test {
protected:
    void SetUp() override { controller.setManualPlaybackOutput(OutputFormat{}); }
    bool waitFor(const std::function<bool()>& done, int ms = 20000) { return QTest::qWaitFor(done, ms); }

    TempDir dir;
    VaunPreviewViewController controller;
    PreviewModel& model = controller.model();
};

TEST_F(ExtensionController, PreparedBeforeShownPlaysWhenShownNotBefore) {
    controller.preparePreviewOfFileAndWait(tone(dir / "a.wav", 2, 2));
    EXPECT_TRUE(controller.autoplayPending());
    QTest::qWait(200);
    EXPECT_FALSE(model.isPlaying());

    controller.viewDidAppear();
    EXPECT_TRUE(controller.previewIsVisible());
    EXPECT_FALSE(controller.autoplayPending());
    EXPECT_TRUE(model.isPlaying());
    EXPECT_TRUE(controller.hasPlaybackTimer());

    controller.viewWillDisappear();
    EXPECT_FALSE(controller.previewIsVisible());
    EXPECT_FALSE(model.isPlaying());
    EXPECT_FALSE(controller.hasPlaybackTimer());
}

TEST_F(ExtensionController, ShownBeforeLoadedPlaysOnceLoadingEnds) {
    controller.viewDidAppear();
    Outcome outcome;
    controller.preparePreviewOfFile(tone(dir / "a.wav", 1, 2), outcome.callback());
    EXPECT_TRUE(model.isLoading());
    EXPECT_FALSE(model.isPlaying());
    ASSERT_TRUE(waitFor([&] { return outcome.calls > 0; }));
    EXPECT_FALSE(outcome.error);
    EXPECT_TRUE(model.isPlaying());
    EXPECT_FALSE(controller.autoplayPending());
    QTest::qWait(100);
    EXPECT_EQ(outcome.calls, 1);
}

TEST_F(ExtensionController, DismissedWhileLoadingNeverPlays) {
    controller.viewDidAppear();
    Outcome outcome;
    controller.preparePreviewOfFile(tone(dir / "long.wav", 2, 10), outcome.callback());
    controller.viewWillDisappear();
    EXPECT_FALSE(model.isLoading());
    ASSERT_TRUE(waitFor([&] { return outcome.calls > 0; }));
    EXPECT_TRUE(outcome.is<CancellationError>());
    QTest::qWait(200);
    EXPECT_FALSE(model.isPlaying());
    EXPECT_FALSE(controller.autoplayPending());
    EXPECT_FALSE(model.metadata());
    EXPECT_EQ(outcome.calls, 1);
}

TEST_F(ExtensionController, FailingFileNeverPlaysAndCompletionGetsTheError) {
    const auto text = dir / "notes.wav";
    std::ofstream(text) << "not audio at all, just words in a file with an audio name\n";
    controller.viewDidAppear();
    Outcome outcome;
    controller.preparePreviewOfFile(text, outcome.callback());
    ASSERT_TRUE(waitFor([&] { return outcome.calls > 0; }));
    ASSERT_TRUE(outcome.error);
    EXPECT_FALSE(outcome.is<CancellationError>());
    ASSERT_TRUE(model.errorMessage());
    EXPECT_TRUE(model.errorMessage()->startsWith("Could not preview: "));
    EXPECT_FALSE(model.isPlaying());
    EXPECT_FALSE(controller.autoplayPending());
}

TEST_F(ExtensionController, MultichannelFileAutoplaysThroughTheMultichannelPlayer) {
    controller.viewDidAppear();
    Outcome outcome;
    controller.preparePreviewOfFile(tone(dir / "bed.wav", 6, 1), outcome.callback());
    ASSERT_TRUE(waitFor([&] { return outcome.calls > 0; }));
    ASSERT_FALSE(outcome.error);
    EXPECT_TRUE(model.isPlaying());
    // Only the multichannel player names its route.
    ASSERT_TRUE(model.playbackRoute());
    EXPECT_FALSE(model.playbackRoute()->isEmpty());
}

} // namespace
} // namespace vaun::test
