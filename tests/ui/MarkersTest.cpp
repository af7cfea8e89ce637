// A file's markers: drawn over the display where the playhead would stand, listed in the
// details, and each a place the playhead can be sent to by a click or the bracket keys.
#include "PreviewViews/ChannelLanesView.h"
#include "PreviewViews/InfoSections.h"
#include "PreviewViews/MarkerOverlay.h"
#include "PreviewViews/MarkersSection.h"
#include "PreviewViews/PlayerDisplay.h"
#include "PreviewViews/PreviewText.h"
#include "PreviewViews/PreviewView.h"
#include "PreviewViews/WaveformView.h"
#include "RenderSupport.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

using namespace vaun;

namespace {

constexpr double kRate = 48000;

Marker marker(Marker::Kind kind, double seconds, std::string label, std::optional<double> lengthSeconds = {}) {
    Marker m;
    m.kind = kind;
    m.start = std::int64_t(seconds * kRate);
    m.label = std::move(label);
    if (lengthSeconds) m.length = std::int64_t(*lengthSeconds * kRate);
    return m;
}

// Ten seconds of stereo at 48 kHz with a marker at 2 s, a region over 5–7 s, a loop at 8 s and
// a marker past the end; the timecode starts at 01:00:00:00.
AudioMetadata markedFile() {
    AudioMetadata m;
    m.fileName = "marked.wav";
    m.durationSeconds = 10;
    m.sampleRateHz = kRate;
    m.channels = 2;
    m.timecode = Timecode::make(std::uint64_t(3600 * kRate), kRate, {25, 1}, false);
    m.markers = {marker(Marker::Kind::marker, 2, "Intro"), marker(Marker::Kind::region, 5, "Verse", 2),
                 marker(Marker::Kind::loop, 8, "Groove", 1), marker(Marker::Kind::marker, 12, "Beyond")};
    m.markers[1].note = "Check the vocal";
    m.markers[2].playCount = 3;
    return m;
}

} // namespace

TEST(Markers, AClickOnAMarkerOrTheBracketKeysMoveThePlayheadThere) {
    PreviewModel model;
    model.setLanes({{}, {}});
    model.setMetadata(markedFile());
    std::vector<double> seeks;
    PreviewView::Actions actions;
    actions.seek = [&seeks](double f) { seeks.push_back(f); };
    PreviewView view(model, actions);
    view.resize(780, 700);
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    QApplication::processEvents();

    MarkerOverlay* overlay = view.findChild<PlayerDisplay*>()->markerOverlay();
    ASSERT_NE(overlay, nullptr);
    EXPECT_FALSE(overlay->markerX(3)) << "past the end of the audio";
    const double intro = *overlay->markerX(0);
    QTest::mouseClick(overlay, Qt::LeftButton, {}, QPoint(int(intro) + 3, 90));
    QTest::mouseClick(overlay, Qt::LeftButton, {}, QPoint(int(intro) + 40, 90)); // nothing there
    ASSERT_EQ(seeks, std::vector<double>({0.2}));

    // A tick repaints the strip the playhead crossed, not the whole overlay.
    model.setFraction(0.3);
    QApplication::processEvents();
    test::PaintRecorder painted(*overlay);
    model.setFraction(0.305);
    QApplication::processEvents();
    EXPECT_FALSE(painted.painted.isEmpty());
    EXPECT_LE(painted.painted.boundingRect().width(), 6);

    seeks.clear();
    model.setFraction(0.2);
    QTest::keyClick(&view, Qt::Key_BracketRight);
    model.setFraction(0.5);
    QTest::keyClick(&view, Qt::Key_BracketRight);
    model.setFraction(0.8);
    QTest::keyClick(&view, Qt::Key_BracketRight); // only the one past the end is later
    model.setFraction(0.801);                      // just after the jump to the loop
    QTest::keyClick(&view, Qt::Key_BracketLeft);
    model.setFraction(0.1);
    QTest::keyClick(&view, Qt::Key_BracketLeft);
    EXPECT_EQ(seeks, std::vector<double>({0.5, 0.8, 0.5}));
}

TEST(Markers, AreDrawnWhereThePlayheadWouldStandInBothAppearances) {
    for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        for (const auto mode : {PreviewModel::DisplayMode::waveform, PreviewModel::DisplayMode::channels}) {
            PreviewModel model;
            model.setLanes({{}, {}}); // blank drawings: only the markers and the playhead show
            model.setMode(mode);
            PlayerDisplay display(model, {"L", "R"}, {});
            display.setMarkers(std::make_shared<const MarkerTimeline>(markedFile()), {});
            const QImage image = test::render(display, {640, 132}, scheme);
            MarkerOverlay* overlay = display.markerOverlay();
            ASSERT_NE(overlay, nullptr);
            EXPECT_EQ(overlay->geometry(), display.display()->geometry());
            const double width = overlay->width();
            const double expected = mode == PreviewModel::DisplayMode::waveform ? waveformPlayheadX(0.2, width)
                                                                                : lanePlayheadX(0.2, width, 34);
            EXPECT_DOUBLE_EQ(*overlay->markerX(0), expected);

            const Appearance& look = Appearance::of(scheme);
            const int left = overlay->x();
            const int y = 40;
            EXPECT_LT(test::colorDistance(image.pixelColor(left + int(expected), y), look.orange), 8);
            EXPECT_GT(test::colorDistance(image.pixelColor(left + int(expected) + 3, y), look.orange), 60);
            // The region is shaded through; the loop has brackets at both ends, nothing between.
            const QColor blank = image.pixelColor(left + int(std::lround(*overlay->markerX(1))) - 6, y);
            const QColor shaded = image.pixelColor(left + int(std::lround(*overlay->markerX(1))) + 20, y);
            EXPECT_GT(test::colorDistance(shaded, blank), 12);
            EXPECT_LT(test::colorDistance(shaded, test::over(withOpacity(look.orange, 0.2), blank)), 30);
            const int loop = left + int(*overlay->markerX(2));
            EXPECT_LT(test::colorDistance(image.pixelColor(loop, y), look.green), 8);
            EXPECT_EQ(image.pixelColor(loop + 10, y), blank);
        }
    }
}

TEST(Markers, TheListHasARowPerMarkerAndAClickSeeks) {
    PreviewModel model;
    const AudioMetadata file = markedFile();
    std::vector<double> seeks;
    DetailsSections details(model, file, std::make_shared<const MarkerTimeline>(file),
                            [&seeks](double f) { seeks.push_back(f); });
    auto* section = details.findChild<MarkersSection*>();
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(section->header().text(), "Markers");
    EXPECT_EQ(section->header().symbol(), "bookmark");
    EXPECT_FALSE(section->isExpanded());
    model.setShowMarkers(true);
    EXPECT_TRUE(section->isExpanded());

    MarkerList& list = section->list();
    ASSERT_EQ(list.rowCount(), 4u);
    EXPECT_EQ(list.rowTexts(0), (QStringList{"0:02.000", "01:00:02:00", "Marker", "Intro", "", "", ""}));
    EXPECT_EQ(list.rowTexts(1),
              (QStringList{"0:05.000", "01:00:05:00", "Region", "Verse", "Check the vocal", "0:02.000", ""}));
    EXPECT_EQ(list.rowTexts(2), (QStringList{"0:08.000", "01:00:08:00", "Loop", "Groove", "", "0:01.000", "3 plays"}));
    EXPECT_EQ(list.height(), 4 * list.rowHeight());

    test::render(details, {700, 400});
    QTest::mouseClick(&list, Qt::LeftButton, {}, QPoint(200, list.rowHeight() * 3 / 2));
    QTest::mouseClick(&list, Qt::LeftButton, {}, QPoint(200, list.rowHeight() * 7 / 2)); // past the end
    EXPECT_EQ(seeks, std::vector<double>({0.5}));
    EXPECT_EQ(MarkerTimeline::clockText(3723.4567), "1:02:03.457");
}
