// The whole preview: the empty states, the loaded column, the player's parts, the keys, and
// that playback ticks leave everything but the playback-driven parts alone.
#include "PreviewViews/ChannelLanesView.h"
#include "PreviewViews/EmptyState.h"
#include "PreviewViews/GlassControl.h"
#include "PreviewViews/InfoCells.h"
#include "PreviewViews/InfoSections.h"
#include "PreviewViews/MeterBank.h"
#include "PreviewViews/PlayerCard.h"
#include "PreviewViews/PlayerDisplay.h"
#include "PreviewViews/PreviewHeader.h"
#include "PreviewViews/PreviewText.h"
#include "PreviewViews/PreviewView.h"
#include "PreviewViews/WaveformView.h"
#include "RenderSupport.h"
#include "TestAudio.h"
#include "Toolkit/SegmentedPicker.h"
#include "Toolkit/Slider.h"
#include "Toolkit/SpinningProgress.h"
#include "WithPlayback.h"

#include "analysis/AudioAnalyzer.h"
#include "analysis/WaveformGenerator.h"
#include "inspect/ChannelMap.h"
#include "inspect/MetadataAssembler.h"

#include <QApplication>
#include <QLayout>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

using namespace vaun;

namespace {

struct Calls {
    int open = 0, play = 0, stop = 0, measure = 0;
    std::vector<double> seeks;

    PreviewView::Actions actions(bool canOpen = true) {
        PreviewView::Actions a;
        if (canOpen) a.openFile = [this] { ++open; };
        a.play = [this] { ++play; };
        a.stop = [this] { ++stop; };
        a.seek = [this](double f) { seeks.push_back(f); };
        a.measure = [this] { ++measure; };
        return a;
    }
};

// Every text the view shows, hidden parts left out.
QStringList texts(const QWidget& root) {
    QStringList all;
    for (const PreviewText* text : root.findChildren<PreviewText*>())
        if (text->isVisibleTo(&root)) all << text->fullText();
    return all;
}

const GlassControl* button(const QWidget& root, const QString& text) {
    for (const GlassControl* control : root.findChildren<GlassControl*>())
        if (control->text() == text) return control;
    return nullptr;
}

// Counts the times a widget is asked to lay its children out again.
struct LayoutRequests : QObject {
    explicit LayoutRequests(QWidget& widget) { widget.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest) ++count;
        return false;
    }
    int count = 0;
};

WaveformGenerator::Buckets buckets(float peak, int pairs = 64) {
    WaveformGenerator::Buckets b;
    b.bucketCount = pairs;
    b.framesPerBucket = 100;
    for (int i = 0; i < pairs; ++i) b.values.insert(b.values.end(), {-peak * float(i % 4) / 3, peak * float(i % 5) / 4});
    return b;
}

// A loaded 10-second file of `channels` channels, one lane per channel, drawn at `peak`.
void load(PreviewModel& model, int channels, float peak = 0.8f) {
    AudioMetadata m;
    m.fileName = "take.wav";
    m.fileSizeBytes = 2'880'044;
    m.containerDescription = "Waveform audio";
    m.durationSeconds = 10;
    m.sampleRateHz = 48000;
    m.bitDepth = 24;
    m.channels = channels;
    std::vector<WaveformGenerator::Buckets> lanes(std::size_t(channels), buckets(peak));
    model.setLanes(lanes);
    model.setWaveform(buckets(peak));
    model.setMode(channels > 2 ? PreviewModel::DisplayMode::channels : PreviewModel::DisplayMode::waveform);
    model.setMetadata(m);
}

// A preview of an empty model with recording actions, for the model to be filled in.
class Preview : public ::testing::Test {
protected:
    PreviewModel model;
    Calls calls;
    PreviewView view{model, calls.actions()};
};

TEST_F(Preview, WelcomeOffersOpeningOnlyWithAnOpenAction) {
    test::render(view, {780, 520});
    EXPECT_EQ(view.findChild<SymbolImage*>("emptyStateSymbol")->symbol(), "waveform");
    const QStringList shown = texts(view);
    EXPECT_TRUE(shown.contains("Take a closer listen."));
    EXPECT_TRUE(shown.contains("See the waveform, check the details, and press play."));
    EXPECT_TRUE(shown.contains("WAV · AIFF · CAF · MP3 · M4A · FLAC"));
    const GlassControl* open = button(view, "Open Audio File…");
    ASSERT_NE(open, nullptr);
    EXPECT_TRUE(open->isProminent());
    EXPECT_EQ(open->controlSize(), GlassControl::ControlSize::large);
    QTest::mouseClick(const_cast<GlassControl*>(open), Qt::LeftButton);
    EXPECT_EQ(calls.open, 1);

    PreviewView closed(model, calls.actions(false));
    test::render(closed, {780, 520});
    EXPECT_TRUE(texts(closed).contains("Take a closer listen."));
    EXPECT_FALSE(texts(closed).contains("WAV · AIFF · CAF · MP3 · M4A · FLAC"));
    EXPECT_TRUE(closed.findChildren<GlassControl*>().isEmpty());
}

TEST_F(Preview, LoadingTakesPrecedenceOverAnErrorButTheSymbolSwitches) {
    model.setIsLoading(true);
    model.setErrorMessage(QString("The file is damaged."));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(view.findChild<SymbolImage*>("emptyStateSymbol")->symbol(), "waveform.badge.exclamationmark");
    ASSERT_NE(view.findChild<SpinningProgress*>(), nullptr);
    EXPECT_EQ(view.findChild<SpinningProgress*>()->label(), "Reading audio…");
    EXPECT_TRUE(texts(view).filter("Couldn't open").isEmpty());
    EXPECT_EQ(button(view, "Open Audio File…"), nullptr);

    model.setIsLoading(false);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(view.findChild<SpinningProgress*>(), nullptr);
    EXPECT_TRUE(texts(view).contains("Couldn't open this audio file."));
    EXPECT_TRUE(texts(view).contains("The file is damaged."));
    EXPECT_NE(button(view, "Open Audio File…"), nullptr);
}

TEST_F(Preview, DisplayHeightFollowsTheLaneCount) {
    using Mode = PreviewModel::DisplayMode;
    EXPECT_EQ(PreviewView::displayHeight(Mode::channels, 2), 132);
    EXPECT_EQ(PreviewView::displayHeight(Mode::channels, 8), 176);
    EXPECT_EQ(PreviewView::displayHeight(Mode::channels, 12), 264);
    EXPECT_EQ(PreviewView::displayHeight(Mode::channels, 16), 264);
    EXPECT_EQ(PreviewView::displayHeight(Mode::channels, 0), 132);
    EXPECT_EQ(PreviewView::displayHeight(Mode::waveform, 16), 132);

    // In the view the lanes and the meters beside them take that height, and follow the mode.
    load(model, 8);
    test::render(view, {780, 900});
    PlayerDisplay* display = view.findChild<PlayerDisplay*>();
    ASSERT_NE(display, nullptr);
    EXPECT_EQ(display->kind(), PlayerDisplay::Kind::channels);
    EXPECT_EQ(display->display()->height(), 176);
    EXPECT_EQ(display->meters().height(), 176);
    auto* lanes = qobject_cast<ChannelLanesView*>(static_cast<WithPlayback*>(display->display())->contentWidget());
    ASSERT_NE(lanes, nullptr);
    EXPECT_EQ(lanes->lanes().size(), 8u);
    EXPECT_EQ(lanes->accessibleName(), "Waveform per channel");
    model.setMode(PreviewModel::DisplayMode::waveform);
    EXPECT_EQ(display->display()->height(), 132);
    EXPECT_EQ(display->meters().height(), 132);
}

TEST_F(Preview, ADMFilesNameTheirTracksOnLanesAndMetersAndTheirProgrammeInTheDetails) {
    load(model, 4);
    AudioMetadata m = *model.metadata();
    m.channelLabels = {"1", "2", "3", "4"};
    m.isADM = true;
    m.admProgramme = "Final Mix";
    m.admContent = "stereo bed + 2 objects";
    m.admTrackLabels = {"L", "R", "Helicopter flyby", "Obj 13"};
    model.setMetadata(m);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    PlayerDisplay* display = view.findChild<PlayerDisplay*>();
    ASSERT_NE(display, nullptr);
    const QStringList meters = static_cast<MeterBank*>(display->meters().contentWidget())->labels();
    auto* lanes = qobject_cast<ChannelLanesView*>(static_cast<WithPlayback*>(display->display())->contentWidget());
    ASSERT_NE(lanes, nullptr);
    // The lanes take the names whole (eliding them as they draw); the meters fit them to a slot,
    // elided in the middle, a short trailing number kept.
    EXPECT_EQ(lanes->labels(), (QStringList{"L", "R", "Helicopter flyby", "Obj 13"}));
    ASSERT_EQ(meters.size(), 4);
    EXPECT_EQ(meters.mid(0, 2), (QStringList{"L", "R"}));
    EXPECT_TRUE(meters[2].startsWith('H') && meters[2].contains(QChar(0x2026)) && meters[2].size() < 8)
        << meters[2].toStdString();
    EXPECT_TRUE(meters[3].size() <= 4 && meters[3].startsWith('O') && meters[3].endsWith("13")) << meters[3].toStdString();

    // The two rows follow the ADM row; the channel row keeps the file's own labels.
    QStringList rows;
    for (const DetailRow* r : view.findChildren<DetailRow*>()) rows << r->label() + u'=' + r->value();
    const auto at = rows.indexOf("ADM=ADM BWF (axml + chna)");
    ASSERT_GE(at, 0);
    EXPECT_EQ(rows.mid(at + 1, 2), (QStringList{"ADM programme=Final Mix", "ADM content=stereo bed + 2 objects"}));
    EXPECT_TRUE(rows.contains("Channels=1 2 3 4"));
}

TEST_F(Preview, QuietFilesAreDrawnLargerWithANote) {
    auto gainFor = [](float peak) { return PreviewView::viewGain(buckets(peak)); };
    EXPECT_NEAR(gainFor(0.1f), 9, 1e-4);
    EXPECT_EQ(PreviewView::zoomNote(gainFor(0.1f)), QString("View +19 dB"));
    EXPECT_FLOAT_EQ(gainFor(0.01f), 31.6f);
    EXPECT_EQ(PreviewView::zoomNote(gainFor(0.01f)), QString("View +30 dB"));
    EXPECT_EQ(gainFor(0.25f), 1);
    EXPECT_EQ(gainFor(0), 1);
    EXPECT_EQ(PreviewView::viewGain(std::nullopt), 1);
    EXPECT_FALSE(PreviewView::zoomNote(1).has_value());

    load(model, 2, 0.1f);
    test::render(view, {780, 900});
    PlayerDisplay* display = view.findChild<PlayerDisplay*>();
    ASSERT_NE(display->zoomNote(), nullptr);
    EXPECT_EQ(display->zoomNote()->fullText(), "View +19 dB");
    EXPECT_EQ(display->zoomNote()->toolTip(),
              "This file is quiet; the drawing is enlarged. Measurements are not affected.");
    // Top-trailing corner of the drawing.
    const QRect drawing = display->display()->geometry();
    EXPECT_EQ(display->zoomNote()->geometry().top(), drawing.top());
    EXPECT_EQ(display->zoomNote()->geometry().right(), drawing.right());
    auto* waveform = qobject_cast<WaveformView*>(static_cast<WithPlayback*>(display->display())->contentWidget());
    ASSERT_NE(waveform, nullptr);
    EXPECT_NEAR(waveform->gain(), 9, 1e-4);
    EXPECT_EQ(waveform->accessibleName(), "Audio waveform");

    model.setWaveform(buckets(0.25f));
    EXPECT_EQ(display->zoomNote(), nullptr);
}

TEST_F(Preview, RouteNoteAndChannelsSegmentFollowTheChannelCount) {
    load(model, 6);
    AudioPlayer* player = view.findChild<AudioPlayer*>();
    ASSERT_NE(player->routeNote(), nullptr);
    EXPECT_EQ(player->routeNote()->label().fullText(),
              "Plays spatially on headphones, or direct to an interface with enough outputs");
    EXPECT_EQ(player->routeNote()->image().symbol(), "hifispeaker.2");
    model.setPlaybackRoute(QString("Spatial audio for headphones (5.1)"));
    EXPECT_EQ(player->routeNote()->image().symbol(), "headphones");
    model.setPlaybackRoute(QString("Direct: 6 channels to 8 outputs"));
    EXPECT_EQ(player->routeNote()->image().symbol(), "hifispeaker.2");
    EXPECT_TRUE(player->modePicker().isSegmentEnabled(1));

    // The picker and the model's mode follow each other.
    EXPECT_EQ(player->modePicker().currentIndex(), 1);
    player->modePicker().setCurrentIndex(2);
    EXPECT_EQ(model.mode(), PreviewModel::DisplayMode::spectrum);
    EXPECT_TRUE(texts(view).contains("No spectrum for this file."));
    model.setAnalysisProgress(0.42);
    EXPECT_TRUE(texts(view).contains("Analysing… 42%"));
    model.setAnalysisProgress(std::nullopt);
    model.setAnalysisDeferred(true);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(texts(view).contains("Long file — analysis runs only when you ask."));
    QTest::mouseClick(const_cast<GlassControl*>(button(view, "Analyse this file")), Qt::LeftButton);
    EXPECT_EQ(calls.measure, 1);
    model.setMode(PreviewModel::DisplayMode::waveform);
    EXPECT_EQ(player->modePicker().currentIndex(), 0);

    load(model, 1);
    player = view.findChild<AudioPlayer*>();
    EXPECT_EQ(player->routeNote(), nullptr);
    EXPECT_FALSE(player->modePicker().isSegmentEnabled(1));
    EXPECT_EQ(player->modePicker().toolTip(),
              "Waveform: all channels · Channels: one lane per speaker · Spectrum: frequency over time"
              " · Loudness: momentary and short-term loudness over time");
}

TEST_F(Preview, KeysPlayStopAndSeekWindowWide) {
    view.resize(780, 700);
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));

    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_EQ(calls.play, 0) << "nothing to play before a file is loaded";

    load(model, 2);
    AudioMetadata longer = *model.metadata();
    longer.durationSeconds = 100;
    model.setMetadata(longer);
    model.setFraction(0.5);
    // Whatever has focus: here the scrubber, which would take the arrows for itself.
    auto* slider = view.findChild<Slider*>();
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Space);
    QTest::keyClick(slider, Qt::Key_Home);
    QTest::keyClick(slider, Qt::Key_Right);
    QTest::keyClick(slider, Qt::Key_Left);
    model.setFraction(0.02);
    QTest::keyClick(slider, Qt::Key_Left);
    model.setFraction(0.98);
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(calls.play, 1);
    EXPECT_EQ(calls.stop, 1);
    ASSERT_EQ(calls.seeks.size(), 4u);
    EXPECT_DOUBLE_EQ(calls.seeks[0], 0.55);
    EXPECT_DOUBLE_EQ(calls.seeks[1], 0.45);
    EXPECT_DOUBLE_EQ(calls.seeks[2], 0);
    EXPECT_DOUBLE_EQ(calls.seeks[3], 1);

    // Tab reaches the picker, the scrubber and the buttons.
    QWidgetList reached;
    QApplication::processEvents(); // a page added to a shown window appears on the next pass
    for (QWidget* w = view.nextInFocusChain(); w != &view; w = w->nextInFocusChain())
        if (w->isVisibleTo(&view) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) reached << w;
    EXPECT_TRUE(reached.contains(slider));
    EXPECT_TRUE(reached.contains(view.findChild<SegmentedPicker*>()));
    EXPECT_TRUE(reached.contains(&view.findChild<AudioPlayer*>()->playButton()));
    EXPECT_TRUE(reached.contains(view.findChild<AudioPlayer*>()->stopButton().contentWidget()));
    const GlassControl* open = nullptr;
    for (const GlassControl* c : view.findChildren<GlassControl*>())
        if (c->accessibleName() == "Open audio file") open = c;
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->toolTip(), "Open another audio file (Ctrl+O)");
    EXPECT_TRUE(reached.contains(const_cast<GlassControl*>(open)));
}

TEST_F(Preview, PlaybackTicksUpdateOnlyThePlaybackParts) {
    load(model, 2);
    test::render(view, {780, 900});
    AudioPlayer* player = view.findChild<AudioPlayer*>();
    PlayerDisplay* display = view.findChild<PlayerDisplay*>();
    QPointer<QWidget> column = view.findChild<QWidget*>("previewColumn");
    QPointer<PreviewHeader> header = view.findChild<PreviewHeader*>();
    QPointer<FactsStrip> facts = view.findChild<FactsStrip*>();
    QPointer<QWidget> drawing = static_cast<WithPlayback*>(display->display())->contentWidget();
    QPointer<QWidget> time = player->timeReadout().contentWidget();
    QPointer<QWidget> slider = player->scrubber().contentWidget();
    QPointer<QWidget> stop = player->stopButton().contentWidget();
    auto* waveform = qobject_cast<WaveformView*>(drawing.data());
    const int builds = waveform->cacheBuildCount();
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_EQ(static_cast<ReadoutText*>(time.data())->text(), "0:00 / 0:10");
    EXPECT_EQ(AudioPlayer::timeText(std::nullopt, 0.5), "0:00 / —");
    EXPECT_EQ(player->playButton().text(), "Play");
    EXPECT_EQ(player->playButton().toolTip(), "Play audio");
    EXPECT_EQ(player->playButton().size(), QSize(78, 28));
    EXPECT_EQ(stop->toolTip(), "Stop and return to the beginning");
    EXPECT_EQ(stop->accessibleName(), "Stop playback");

    model.setIsPlaying(true);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QApplication::processEvents();
    QApplication::processEvents();
    LayoutRequests requests(*column);
    for (int tick = 1; tick <= 10; ++tick) {
        model.setFraction(0.065 * tick);
        model.setMeterPeak({-6, -12});
        model.setMeterAverage({-12, -18});
    }
    QApplication::processEvents();
    EXPECT_EQ(requests.count, 0) << "a tick should not lay the column out again";
    ASSERT_TRUE(column && header && facts && drawing && time && slider && stop);
    EXPECT_EQ(column, view.findChild<QWidget*>("previewColumn"));
    EXPECT_EQ(waveform->cacheBuildCount(), builds);
    EXPECT_DOUBLE_EQ(waveform->fraction(), 0.65);
    EXPECT_EQ(static_cast<ReadoutText*>(time.data())->text(), "0:06 / 0:10");
    EXPECT_DOUBLE_EQ(static_cast<Slider*>(slider.data())->value(), 0.65);
    EXPECT_EQ(static_cast<Slider*>(slider.data())->accessibleValueText(), "0:06");
    EXPECT_EQ(slider->accessibleName(), "Playback position");
    EXPECT_EQ(static_cast<MeterBank*>(display->meters().contentWidget())->peak(), QVector<float>({-6, -12}));
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_EQ(player->playButton().text(), "Pause");
    EXPECT_EQ(player->playButton().symbol(), "pause.fill");
    EXPECT_EQ(player->playButton().toolTip(), "Pause playback");

    // An error after loading shows under the header; the column stays.
    model.setErrorMessage(QString("Loudness could not be measured for this file."));
    EXPECT_TRUE(texts(view).contains("Loudness could not be measured for this file."));
    EXPECT_TRUE(header);
}

// The whole preview of a 5.1 file read as the application reads it, in both appearances.
TEST(PreviewView, RendersALoadedSurroundFile) {
    test::TempDir dir;
    const auto file = dir / "Forest ambience 5.1 – stem print.wav";
    test::Planes planes;
    for (int c = 0; c < 6; ++c) planes.push_back(test::sine(110.0 * (c + 1), c == 3 ? 0.05 : 0.5 - 0.06 * c, 48000, 48000 * 3));
    test::writeWav(file, planes, 48000, {test::SampleFormat::PCM24, 0x3F, {}});

    PreviewModel model;
    AudioMetadata metadata = MetadataAssembler::assemble(file);
    metadata.warnings.push_back("Embedded artwork could not be read.");
    const auto lanes = WaveformGenerator().generateChannels(file, 512, 24);
    ChannelMap map;
    map.labels = metadata.channelLabels;
    for (const std::string& label : map.labels) map.weights.push_back(ChannelMap::weight(label));
    model.setAnalysis(AudioAnalyzer().analyze(file, map, 480, [] { return false; }));
    model.setLanes(lanes);
    model.setWaveform(WaveformGenerator::combine(lanes));
    model.setMode(PreviewModel::DisplayMode::channels);
    model.setShowFileDetails(true);
    model.setMetadata(metadata);
    model.setFraction(0.4);
    model.setIsPlaying(true);
    model.setMeterPeak({-3, -5, -8, -20, -10, -12});
    model.setMeterAverage({-9, -11, -14, -30, -18, -20});

    Calls calls;
    PreviewView view(model, calls.actions());
    EXPECT_TRUE(texts(view).contains(QString::fromStdString(file.filename().string())));
    EXPECT_TRUE(texts(view).contains("Embedded artwork could not be read."));
    EXPECT_EQ(view.findChild<AudioPlayer*>()->routeNote()->image().symbol(), "hifispeaker.2");
    const QWidget* column = view.findChild<QWidget*>("previewColumn");
    const int height = column->layout()->totalHeightForWidth(780);
    // The scroll area settles its scroll bars through queued events after the first layout.
    test::render(view, {780, height});
    QApplication::processEvents();
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        const QImage image = test::render(view, {780, height}, scheme, 2);
        EXPECT_EQ(column->width(), 780);
        EXPECT_FALSE(view.findChild<QScrollArea*>()->verticalScrollBar()->isVisible());
        if (const QByteArray out = qgetenv("VAUN_PREVIEW_PNG_DIR"); !out.isEmpty())
            image.save(QString("%1/preview-%2.png").arg(out, scheme == ColorScheme::dark ? "dark" : "light"));
    }
}

} // namespace
