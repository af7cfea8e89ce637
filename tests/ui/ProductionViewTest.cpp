// A take as the preview reads it: the timecode at the playhead in the time readout (click or
// T for elapsed time), and the recorder's track names on the lanes and meters.
#include "PreviewViews/ChannelLanesView.h"
#include "PreviewViews/MeterBank.h"
#include "PreviewViews/PlayerCard.h"
#include "PreviewViews/PreviewFormat.h"
#include "PreviewViews/PreviewText.h"
#include "PreviewViews/PreviewView.h"
#include "WithPlayback.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

using namespace vaun;

TEST(ProductionView, ReadoutShowsTimecodeAndLanesAndMetersTheTrackNames) {
    PreviewModel model;
    AudioMetadata m;
    m.fileName = "take.wav";
    m.durationSeconds = 10;
    m.sampleRateHz = 48000;
    m.channels = 4;
    m.timecode = Timecode::make(48000ull * 3600, 48000, {25, 1}, false);
    m.tracks = {{1, "MKH516 A", {}, {}}, {2, "Boom", {}, {}}, {3, {}, "C", "C"}, {4, "Lav 2", {}, {}}};
    model.setLanes({{}, {}, {}, {}});
    model.setMetadata(m);
    model.setMode(PreviewModel::DisplayMode::channels);
    PreviewView view(model, {});
    view.resize(780, 700);
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    model.setFraction(0.5);
    QApplication::processEvents();

    auto& readout = static_cast<ReadoutText&>(*view.findChild<AudioPlayer*>()->timeReadout().contentWidget());
    EXPECT_EQ(readout.text(), "01:00:05:00");
    QTest::keyClick(&view, Qt::Key_T);
    EXPECT_EQ(readout.text(), "0:05 / 0:10");
    QTest::mouseClick(&readout, Qt::LeftButton);
    EXPECT_EQ(readout.text(), "01:00:05:00");

    const auto* lanes = view.findChild<ChannelLanesView*>();
    ASSERT_NE(lanes, nullptr);
    EXPECT_EQ(lanes->labels(), (QStringList{"MKH516 A", "Boom", "C", "Lav 2"}));
    const QStringList meters = view.findChild<MeterBank*>()->labels();
    ASSERT_EQ(meters.size(), 4);
    EXPECT_EQ(meters[1], "Boom");
    EXPECT_EQ(meters[2], "C");
    EXPECT_LT(meters[0].size(), 8) << "shortened to fit under its meter";

    // The header's second line reads a take by its scene, take and tape.
    m.iXMLScene = "A101", m.iXMLTake = "1", m.iXMLCircled = true, m.iXMLTape = "18Y12M31";
    EXPECT_EQ(format::recordingLine(m), "Scene A101 \u00B7 Take 1 (circled) \u00B7 Tape 18Y12M31");
}
