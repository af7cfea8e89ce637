// The facts strip, the loudness strip, the detail sections and the formatting they share.
#include "PreviewViews/GlassControl.h"
#include "PreviewViews/InfoCells.h"
#include "PreviewViews/InfoSections.h"
#include "PreviewViews/MeterBank.h"
#include "PreviewViews/PreviewFormat.h"
#include "RenderSupport.h"
#include "Toolkit/DisclosureSection.h"
#include "Toolkit/SpinningProgress.h"
#include "Toolkit/Typography.h"

#include <QFontMetricsF>
#include <QTest>

#include <gtest/gtest.h>

#include <ctime>
#include <limits>

using namespace vaun;
using vaun::test::colorDistance;
using vaun::test::render;

namespace {

class Sections : public testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        // Nine hours east of UTC, no daylight saving: dates must show in local time.
        qputenv("TZ", "JST-9");
        tzset();
    }
};

AudioMetadata sample() {
    AudioMetadata m;
    m.fileName = "take.wav";
    m.fileSizeBytes = 1234567;
    m.durationSeconds = 187.4;
    m.sampleRateHz = 44100;
    m.channels = 6;
    m.codec = "AAC";
    return m;
}

// Cells the strip shows now (replaced ones wait hidden for their deferred deletion).
QList<InfoCell*> cells(const QWidget& strip) {
    QList<InfoCell*> shown;
    for (InfoCell* c : strip.findChildren<InfoCell*>())
        if (c->isVisibleTo(&strip)) shown << c;
    return shown;
}

// Rows by label; hidden ones count as absent.
std::optional<QString> rowValue(const QWidget& details, const QString& label) {
    for (const DetailRow* r : details.findChildren<DetailRow*>())
        if (r->label() == label && !r->isHidden()) return r->value();
    return std::nullopt;
}

// Pixels in `cell` within a small distance of `color`.
int pixelsNear(const QImage& image, const QWidget& root, const QWidget& cell, const QColor& color) {
    const QRect area(cell.mapTo(&root, QPoint()), cell.size());
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (colorDistance(image.pixelColor(x, y), color) < 40) ++count;
    return count;
}

void snapshot(const QImage& image, const char* name) {
    if (const QByteArray dir = qgetenv("VAUN_SNAPSHOT_DIR"); !dir.isEmpty())
        image.save(QString::fromLocal8Bit(dir) + u'/' + QLatin1String(name) + QStringLiteral(".png"));
}

} // namespace

TEST_F(Sections, FormatsTimesSizesRatesAndDates) {
    EXPECT_EQ(format::time(59.9), "0:59");
    EXPECT_EQ(format::time(187.4), "3:07");
    EXPECT_EQ(format::time(3600), "1:00:00");
    EXPECT_EQ(format::time(3723), "1:02:03");
    EXPECT_EQ(format::time(-1), "—");
    EXPECT_EQ(format::time(std::numeric_limits<double>::infinity()), "—");
    EXPECT_EQ(format::time(std::nullopt), "—");

    EXPECT_EQ(format::sampleRateKHz(48000), "48 kHz");
    EXPECT_EQ(format::sampleRateKHz(44100), "44.1 kHz");
    EXPECT_EQ(format::sampleRateKHz(std::nullopt), "—");
    EXPECT_EQ(format::sampleRateHz(48000), "48,000 Hz");
    EXPECT_EQ(format::sampleRateHz(11025.5), "11,025.5 Hz");
    EXPECT_EQ(format::kilobitsPerSecond(1411200), "1,411.2 kbps");
    EXPECT_EQ(format::fileSize(1234567), "1.2 MB");
    EXPECT_EQ(format::byteCount(1234567), "1,234,567 bytes");
    EXPECT_EQ(format::shortestSeconds(3600.0), "3600.0 s");
    EXPECT_EQ(format::shortestSeconds(0.1), "0.1 s");

    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 7;
    when.tm_hour = 18;
    when.tm_min = 11;
    when.tm_sec = 5;
    EXPECT_EQ(format::dateTime(std::chrono::system_clock::from_time_t(timegm(&when))), "Dec 8, 2026, 3:11:05 AM");
}

TEST_F(Sections, MeterLabelsFallBackToDefaultsAndStopAtTwentyFour) {
    AudioMetadata m = sample();
    EXPECT_EQ(format::meterLabels(m), (QStringList{"L", "R", "C", "LFE", "Ls", "Rs"}));
    m.channels.reset();
    EXPECT_EQ(format::meterLabels(m), (QStringList{"L", "R"}));
    for (int i = 0; i < 30; ++i) m.channelLabels.push_back("Ch" + std::to_string(i));
    const QStringList labels = format::meterLabels(m);
    ASSERT_EQ(labels.size(), 24);
    EXPECT_EQ(labels.back(), "Ch23");

    // ADM names go first, cut so that 24 of them stay clear of each other under the meters.
    for (int i = 0; i < 30; ++i) m.admTrackLabels.push_back(i == 3 ? "LFE2" : "Wheelsp\u2026");
    const QStringList adm = format::meterLabels(m);
    ASSERT_EQ(adm.size(), 24);
    EXPECT_EQ(adm[3], "LFE2");
    const MeterGeometry meters = MeterGeometry::forChannels(24);
    const QFontMetricsF metrics(systemFont(meters.labelPoints, FontWeight::medium, FontDesign::rounded));
    EXPECT_TRUE(QString("Wheelsp").startsWith(adm[0]));
    EXPECT_LE(metrics.horizontalAdvance(adm[0]), meters.meterWidth + meters.gap);
}

TEST_F(Sections, FactsStripShowsPlaceholdersWhereDetailsSayWhy) {
    const AudioMetadata m = sample(); // compressed: no bit depth
    FactsStrip strip(m);
    const QImage light = render(strip, {600, 120});
    const auto facts = cells(strip);
    ASSERT_EQ(facts.size(), 4);
    QStringList values, titles;
    for (const InfoCell* c : facts) values << c->value(), titles << c->title();
    EXPECT_EQ(values, (QStringList{"3:07", "44.1 kHz", "—", "6 channels"}));
    EXPECT_EQ(titles, (QStringList{"Duration", "Sample rate", "Bit depth", "Channels"}));
    EXPECT_EQ(facts[1]->accessibleName(), "44.1 kHz, Sample rate");
    EXPECT_EQ(facts[0]->width(), facts[3]->width()); // equal shares
    EXPECT_EQ(strip.sizeHint().height(), facts[0]->sizeHint().height() + 32);
    // The control background fills the rounded strip, in either appearance.
    EXPECT_EQ(light.pixelColor(300, 3), Appearance::of(ColorScheme::light).controlBackground);
    EXPECT_NE(light.pixelColor(1, 1), Appearance::of(ColorScheme::light).controlBackground);
    const QImage dark = render(strip, {600, 120}, ColorScheme::dark);
    EXPECT_EQ(dark.pixelColor(300, 3), Appearance::of(ColorScheme::dark).controlBackground);
    snapshot(light, "facts-light");
    snapshot(dark, "facts-dark");

    PreviewModel model;
    DetailsSections details(model, m);
    EXPECT_EQ(rowValue(details, "Bit depth"), "Not specified / not applicable");
    EXPECT_EQ(rowValue(details, "Channel layout"), "Not specified by file");
    EXPECT_EQ(rowValue(details, "Duration"), "187.400000 seconds");
    EXPECT_EQ(rowValue(details, "Sample rate"), "44,100 Hz");
    EXPECT_EQ(rowValue(details, "File size"), "1,234,567 bytes");
    EXPECT_FALSE(rowValue(details, "Channels")); // no labels
    EXPECT_FALSE(rowValue(details, "Bit rate"));
    EXPECT_FALSE(rowValue(details, "Created"));

    // A value too wide for its share shrinks to three quarters, then is cut.
    InfoCell narrow("Channel layout", "A value far too long for its cell");
    narrow.resize(120, 60);
    EXPECT_DOUBLE_EQ(narrow.valueScale(), InfoCell::kMinimumScale);
    EXPECT_TRUE(narrow.shownValue().endsWith(u'…'));
}

TEST_F(Sections, LoudnessStripFollowsTheAnalysisThroughItsFourStates) {
    PreviewModel model;
    int requests = 0;
    LoudnessStrip strip(model, [&requests] { ++requests; });
    EXPECT_EQ(strip.accessibleName(), "Loudness");
    EXPECT_EQ(strip.state(), LoudnessStrip::State::none);
    EXPECT_EQ(strip.sizeHint().height(), 32); // padding only
    EXPECT_TRUE(cells(strip).empty());

    model.setAnalysisDeferred(true);
    ASSERT_EQ(strip.state(), LoudnessStrip::State::deferred);
    auto* button = strip.findChild<GlassControl*>();
    ASSERT_TRUE(button);
    EXPECT_EQ(button->text(), "Measure loudness");
    EXPECT_FALSE(button->isProminent());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(requests, 1);

    model.setAnalysisProgress(0.427);
    ASSERT_EQ(strip.state(), LoudnessStrip::State::progress);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    auto* bar = strip.findChild<LinearProgress*>();
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->width(), 140);
    EXPECT_DOUBLE_EQ(bar->value(), 0.427);
    EXPECT_TRUE(strip.findChild<PreviewText*>()->fullText() == "Measuring loudness… 42%");
    EXPECT_FALSE(strip.findChild<GlassControl*>()); // the request went with its state

    AudioAnalysis analysis;
    analysis.integratedLUFS = -23.04;
    analysis.truePeakDBTP = -0.5;
    analysis.samplePeakDBFS = -0.00005;
    model.setAnalysis(analysis); // wins over the progress still set
    ASSERT_EQ(strip.state(), LoudnessStrip::State::result);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    auto result = cells(strip);
    ASSERT_EQ(result.size(), 4);
    EXPECT_EQ(result[0]->value(), "-23.0 LUFS");
    EXPECT_EQ(result[2]->value(), "—");
    const Appearance& look = Appearance::of(ColorScheme::light);
    const QImage light = render(strip, {640, 90});
    snapshot(light, "loudness-light");
    // True peak above −1 dBTP warns in orange with its symbol and reason.
    EXPECT_TRUE(result[1]->warns() && !result[1]->clips());
    EXPECT_EQ(result[1]->valueColor(), look.orange);
    EXPECT_EQ(result[1]->toolTip(), "Above −1 dBTP: most delivery specs ask for −1 dBTP or lower");
    EXPECT_GT(pixelsNear(light, strip, *result[1], look.orange), 20);
    // A sample peak within 0.0001 dB of full scale is red.
    EXPECT_TRUE(result[3]->clips());
    EXPECT_EQ(result[3]->toolTip(), "Reaches full scale");
    EXPECT_GT(pixelsNear(light, strip, *result[3], look.red), 20);
    EXPECT_EQ(pixelsNear(light, strip, *result[0], look.red) + pixelsNear(light, strip, *result[0], look.orange), 0);

    struct Case {
        double truePeak, samplePeak;
        bool warns, clips, sampleClips;
    };
    for (const Case c : {Case{0.2, -0.001, true, true, false}, Case{-1.0, -3, false, false, false}}) {
        analysis.truePeakDBTP = c.truePeak;
        analysis.samplePeakDBFS = c.samplePeak;
        model.setAnalysis(analysis);
        result = cells(strip);
        InfoCell* truePeak = result[result.size() - 3];
        InfoCell* samplePeak = result.back();
        EXPECT_EQ(truePeak->warns(), c.warns) << c.truePeak;
        EXPECT_EQ(truePeak->clips(), c.clips) << c.truePeak;
        EXPECT_EQ(truePeak->showsSymbol(), c.warns || c.clips);
        EXPECT_EQ(truePeak->toolTip().isEmpty(), !c.warns);
        EXPECT_EQ(samplePeak->valueColor(), look.primaryLabel);
        EXPECT_FALSE(samplePeak->warns());
    }
    EXPECT_EQ(cells(strip)[1]->valueColor(), look.primaryLabel);

    // Colours follow the appearance.
    analysis.truePeakDBTP = -0.5;
    model.setAnalysis(analysis);
    const QImage dark = render(strip, {640, 90}, ColorScheme::dark);
    snapshot(dark, "loudness-dark");
    EXPECT_EQ(cells(strip)[1]->valueColor(), Appearance::of(ColorScheme::dark).orange);
    EXPECT_GT(pixelsNear(dark, strip, *cells(strip)[1], Appearance::of(ColorScheme::dark).orange), 20);
}

TEST_F(Sections, TruePeakRowPairsLabelsAndValuesUpToTheShorterList) {
    PreviewModel model;
    AudioMetadata stereo = sample();
    stereo.channels = 2;
    DetailsSections details(model, stereo);
    EXPECT_FALSE(rowValue(details, "True peak per channel")); // no analysis yet

    AudioAnalysis analysis;
    analysis.channelTruePeakDBTP = {-1.34, -0.8, -6.0};
    model.setAnalysis(analysis);
    EXPECT_EQ(rowValue(details, "True peak per channel"), "L -1.3  R -0.8");

    AudioMetadata surround = sample();
    surround.channelLabels = {"L", "R", "C", "LFE", "Ls", "Rs"};
    DetailsSections more(model, surround);
    analysis.channelTruePeakDBTP = {-2.0, std::nullopt};
    model.setAnalysis(analysis);
    EXPECT_EQ(rowValue(more, "True peak per channel"), "L -2.0  R −∞");
    EXPECT_EQ(rowValue(more, "Channels"), "L R C LFE Ls Rs");
}

TEST_F(Sections, RecordingMetadataAppearsOnlyWithBextOrIXMLText) {
    PreviewModel model;
    AudioMetadata plain = sample();
    plain.iXMLProject = ""; // empty text does not count
    EXPECT_EQ(DetailsSections(model, plain).findChildren<DisclosureSection*>().size(), 1);

    AudioMetadata notes = sample();
    notes.iXMLNotes = "<b>wind</b> on mic 2";
    DetailsSections withNotes(model, notes);
    const auto sections = withNotes.findChildren<DisclosureSection*>();
    ASSERT_EQ(sections.size(), 2);
    EXPECT_EQ(sections[1]->header().text(), "Recording metadata");
    EXPECT_EQ(sections[1]->header().symbol(), "waveform.badge.mic");
    EXPECT_EQ(rowValue(withNotes, "Notes"), "<b>wind</b> on mic 2"); // shown as written, never as markup
    EXPECT_FALSE(rowValue(withNotes, "Recorded"));

    AudioMetadata bext = sample();
    bext.bwf.emplace();
    bext.bwf->originator = "Recorder";
    bext.bwf->timeReferenceSamples = 172800000;
    bext.bwf->version = 1;
    bext.bwfTimeReferenceSamples = 172800000;
    bext.bwfTimeReferenceSeconds = 3600.0;
    bext.isADM = true;
    bext.admTrackCount = 12;
    bext.bitRate = 320000;
    DetailsSections details(model, bext);
    EXPECT_EQ(rowValue(details, "Recorded"), " ");
    EXPECT_EQ(rowValue(details, "Originator"), "Recorder");
    EXPECT_FALSE(rowValue(details, "Description"));
    EXPECT_EQ(rowValue(details, "BWF version"), "1");
    EXPECT_EQ(rowValue(details, "Sample reference"), "172800000");
    EXPECT_EQ(rowValue(details, "Time reference"), "3600.0 s");
    EXPECT_EQ(rowValue(details, "ADM"), "ADM BWF (axml + chna), 12 tracks");
    EXPECT_EQ(rowValue(details, "Bit rate"), "320 kbps");

    // The expanded state and the model's switches follow each other both ways.
    auto* file = details.findChildren<DisclosureSection*>()[0];
    auto* recording = details.findChildren<DisclosureSection*>()[1];
    EXPECT_FALSE(file->isExpanded());
    model.setShowRecordingMetadata(true);
    EXPECT_TRUE(recording->isExpanded());
    QTest::mouseClick(&file->header(), Qt::LeftButton);
    EXPECT_TRUE(model.showFileDetails());
    model.setShowFileDetails(true);
    const QImage light = render(details, {640, 720});
    snapshot(light, "details-light");
    snapshot(render(details, {640, 720}, ColorScheme::dark), "details-dark");
    const DetailRow* originator = nullptr;
    for (const DetailRow* r : details.findChildren<DetailRow*>())
        if (r->label() == "Originator") originator = r;
    ASSERT_TRUE(originator);
    EXPECT_EQ(originator->labelText().width(), 128);
    EXPECT_TRUE(originator->valueText().textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_EQ(originator->valueText().x(), 128 + 18);
}

TEST_F(Sections, StoredLoudnessProfileAndTagsHaveTheirRows) {
    PreviewModel model;
    AudioMetadata m = sample();
    m.codecProfile = "HE-AAC";
    BWFChunk bwf;
    bwf.version = 2;
    bwf.umid = "060A2B34";
    bwf.codingHistory = "A=PCM,F=48000,W=24,M=stereo\r\nA=PCM,F=48000,W=24,M=stereo,T=edit";
    bwf.loudnessValue = -23.0;
    bwf.loudnessRange = 5.0;
    bwf.maxTruePeakLevel = -1.0;
    m.bwf = bwf;
    m.tags = {{"title", "Harbour dawn"}, {"album_artist", "Zorel"}};
    DetailsSections details(model, m);
    EXPECT_EQ(rowValue(details, "Codec profile"), "HE-AAC");
    EXPECT_EQ(rowValue(details, "UMID"), "060A2B34");
    EXPECT_EQ(rowValue(details, "Coding history"), QString::fromStdString(bwf.codingHistory));
    EXPECT_EQ(rowValue(details, "Stored loudness"), "\u221223.0 LUFS \u00B7 LRA 5.0 LU \u00B7 \u22121.0 dBTP");
    EXPECT_EQ(rowValue(details, "Title"), "Harbour dawn");
    EXPECT_EQ(rowValue(details, "Album artist"), "Zorel");

    const auto sections = details.findChildren<DisclosureSection*>();
    ASSERT_EQ(sections.size(), 3);
    model.setShowTags(true);
    EXPECT_TRUE(sections[2]->isExpanded() && sections[2]->header().text() == "Tags");

    // The header reads the main tags above the container line.
    m.tags.emplace_back("artist", "Field Unit");
    EXPECT_EQ(format::tagLine(m), "Harbour dawn \u00B7 Field Unit");
    m.tags.clear();
    EXPECT_FALSE(format::tagLine(m));
}
