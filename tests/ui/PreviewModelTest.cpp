#include "PreviewModel.h"
#include "WithPlayback.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMetaProperty>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace vaun {
namespace {

using Mode = PreviewModel::DisplayMode;

WaveformGenerator::Buckets buckets(std::initializer_list<float> values) {
    WaveformGenerator::Buckets b;
    b.values = values;
    b.bucketCount = static_cast<int>(values.size() / 2);
    b.framesPerBucket = 10;
    return b;
}

TEST(PreviewModel, StartsEmptyInWaveformMode) {
    PreviewModel model;
    EXPECT_EQ(model.mode(), Mode::waveform);
    EXPECT_TRUE(model.lanes().empty());
    EXPECT_TRUE(model.meterPeak().isEmpty());
    EXPECT_TRUE(model.meterAverage().isEmpty());
    EXPECT_EQ(model.fraction(), 0.0);
    EXPECT_FALSE(model.isLoading());
    EXPECT_FALSE(model.errorMessage());
    EXPECT_FALSE(model.metadata());
    EXPECT_FALSE(model.waveform());
    EXPECT_FALSE(model.analysis());
    EXPECT_FALSE(model.analysisProgress());
    EXPECT_FALSE(model.analysisDeferred());
    EXPECT_FALSE(model.isPlaying());
    EXPECT_FALSE(model.showFileDetails());
    EXPECT_FALSE(model.showRecordingMetadata());
    EXPECT_FALSE(model.playbackRoute());
}

TEST(PreviewModel, PropertiesAreDeclaredInOrderWithChangeSignals) {
    const QMetaObject& meta = PreviewModel::staticMetaObject;
    QStringList names;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
        QMetaProperty property = meta.property(i);
        names << QString::fromLatin1(property.name());
        if (names.back() == QLatin1String("playback"))
            EXPECT_TRUE(property.isConstant());
        else
            EXPECT_TRUE(property.hasNotifySignal()) << property.name();
    }
    EXPECT_EQ(names, (QStringList{"metadata", "waveform", "isPlaying", "playback", "isLoading", "errorMessage",
                                  "lanes", "analysis", "analysisProgress", "analysisDeferred", "mode",
                                  "showFileDetails", "showRecordingMetadata", "showTags", "showMarkers", "readoutShowsTimecode",
                                  "playbackRoute"}));
}

TEST(PreviewModel, ForwardedPlaybackValuesNotifyOnlyThePlaybackState) {
    PreviewModel model;
    PlaybackState* playback = model.playback();
    QSignalSpy fraction(playback, &PlaybackState::fractionChanged);
    QSignalSpy peak(playback, &PlaybackState::meterPeakChanged);
    QSignalSpy average(playback, &PlaybackState::meterAverageChanged);

    // Any signal of the model itself would mean the whole preview redraws on each tick.
    std::vector<std::unique_ptr<QSignalSpy>> modelSpies;
    const QMetaObject& meta = PreviewModel::staticMetaObject;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        if (meta.method(i).methodType() == QMetaMethod::Signal)
            modelSpies.push_back(std::make_unique<QSignalSpy>(&model, meta.method(i)));
    ASSERT_EQ(modelSpies.size(), 16u);

    model.setFraction(0.25);
    model.setMeterPeak({-6.0f, -12.0f});
    model.setMeterAverage({-18.0f, -20.0f});

    EXPECT_EQ(playback->fraction(), 0.25);
    EXPECT_EQ(playback->meterPeak(), (QVector<float>{-6.0f, -12.0f}));
    EXPECT_EQ(playback->meterAverage(), (QVector<float>{-18.0f, -20.0f}));
    EXPECT_EQ(fraction.count(), 1);
    EXPECT_EQ(peak.count(), 1);
    EXPECT_EQ(average.count(), 1);
    for (const auto& spy : modelSpies) EXPECT_EQ(spy->count(), 0) << spy->signal().constData();

    // And the other way round: the model reads what the playback state holds.
    playback->setFraction(0.5);
    EXPECT_EQ(model.fraction(), 0.5);
}

TEST(PreviewModel, SignalsFireOncePerActualChange) {
    PreviewModel model;
    QSignalSpy lanes(&model, &PreviewModel::lanesChanged);
    QSignalSpy mode(&model, &PreviewModel::modeChanged);
    QSignalSpy error(&model, &PreviewModel::errorMessageChanged);
    QSignalSpy progress(&model, &PreviewModel::analysisProgressChanged);
    QSignalSpy metadata(&model, &PreviewModel::metadataChanged);
    QSignalSpy loading(&model, &PreviewModel::isLoadingChanged);

    model.setMode(Mode::waveform); // already the value
    EXPECT_EQ(mode.count(), 0);
    model.setMode(Mode::channels);
    model.setMode(Mode::channels);
    EXPECT_EQ(mode.count(), 1);

    model.setLanes({buckets({-0.5f, 0.5f})});
    model.setLanes({buckets({-0.5f, 0.5f})});
    EXPECT_EQ(lanes.count(), 1);
    model.setLanes({buckets({-0.5f, 0.75f})});
    EXPECT_EQ(lanes.count(), 2);

    // Absent and an empty text are different values.
    model.setErrorMessage(QString());
    model.setErrorMessage(QString());
    model.setErrorMessage(std::nullopt);
    EXPECT_EQ(error.count(), 2);

    model.setAnalysisProgress(0.0); // starting at 0 is a change from absent
    model.setAnalysisProgress(0.0);
    model.setAnalysisProgress(0.5);
    model.setAnalysisProgress(std::nullopt);
    EXPECT_EQ(progress.count(), 3);

    AudioMetadata facts;
    facts.fileName = "take.wav";
    model.setMetadata(facts);
    model.setMetadata(facts);
    facts.channels = 2;
    model.setMetadata(facts);
    EXPECT_EQ(metadata.count(), 2);

    model.setIsLoading(false);
    EXPECT_EQ(loading.count(), 0);
    model.setIsLoading(true);
    EXPECT_TRUE(model.isLoading());
    EXPECT_EQ(loading.count(), 1);

    QSignalSpy fraction(model.playback(), &PlaybackState::fractionChanged);
    QSignalSpy peak(model.playback(), &PlaybackState::meterPeakChanged);
    model.setFraction(0.0);
    model.setMeterPeak({});
    EXPECT_EQ(fraction.count(), 0);
    EXPECT_EQ(peak.count(), 0);
}

TEST(PreviewModel, SignalsFireAfterTheValueIsStored) {
    PreviewModel model;
    std::optional<QString> seen;
    QObject::connect(&model, &PreviewModel::playbackRouteChanged, [&] { seen = model.playbackRoute(); });
    model.setPlaybackRoute(QStringLiteral("5.1 → stereo"));
    EXPECT_EQ(seen, QStringLiteral("5.1 → stereo"));
}

TEST(DisplayMode, RawValuesRoundTripInPickerOrder) {
    ASSERT_EQ(PreviewModel::allDisplayModes.size(), 4u);
    EXPECT_EQ(PreviewModel::allDisplayModes[0], Mode::waveform);
    EXPECT_EQ(PreviewModel::allDisplayModes[1], Mode::channels);
    EXPECT_EQ(PreviewModel::allDisplayModes[2], Mode::spectrum);
    EXPECT_EQ(PreviewModel::allDisplayModes[3], Mode::loudness);
    EXPECT_EQ(PreviewModel::rawValue(Mode::waveform), QStringLiteral("Waveform"));
    EXPECT_EQ(PreviewModel::rawValue(Mode::channels), QStringLiteral("Channels"));
    EXPECT_EQ(PreviewModel::rawValue(Mode::spectrum), QStringLiteral("Spectrum"));
    EXPECT_EQ(PreviewModel::rawValue(Mode::loudness), QStringLiteral("Loudness"));
    for (Mode mode : PreviewModel::allDisplayModes)
        EXPECT_EQ(PreviewModel::displayMode(PreviewModel::rawValue(mode)), mode);
}

TEST(DisplayMode, OnlyExactRawValuesConstruct) {
    for (const char* raw : {"channels", "CHANNELS", "Channels ", " Waveform", "", "Spectrogram", "waveform"})
        EXPECT_FALSE(PreviewModel::displayMode(QString::fromUtf8(raw))) << raw;
}

TEST(WithPlayback, RebuildsOnlyOnPlaybackChanges) {
    PreviewModel model;
    int builds = 0;
    WithPlayback view(*model.playback(), [&](const PlaybackState& state) {
        ++builds;
        return std::make_unique<QLabel>(QString::number(state.fraction()));
    });
    ASSERT_EQ(builds, 1);
    ASSERT_NE(view.contentWidget(), nullptr);
    EXPECT_EQ(view.contentWidget()->parentWidget(), &view);

    model.setMode(Mode::spectrum);
    model.setIsPlaying(true);
    model.setLanes({buckets({0.0f, 1.0f})});
    EXPECT_EQ(builds, 1);

    model.setFraction(0.75);
    EXPECT_EQ(builds, 2);
    EXPECT_EQ(qobject_cast<QLabel*>(view.contentWidget())->text(), QStringLiteral("0.75"));
    model.setMeterPeak({-3.0f});
    model.setMeterAverage({-9.0f});
    EXPECT_EQ(builds, 4);
    model.setMeterAverage({-9.0f}); // unchanged
    EXPECT_EQ(builds, 4);
    // Replaced content goes away once deferred deletions run; only the current one stays.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const auto labels = view.findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.front(), view.contentWidget());
}

TEST(WithPlayback, UpdatesContentInPlaceWhenGivenAnUpdater) {
    PlaybackState playback;
    int builds = 0;
    int updates = 0;
    WithPlayback view(
        playback,
        [&](const PlaybackState&) {
            ++builds;
            return std::make_unique<QLabel>();
        },
        [&](QWidget& content, const PlaybackState& state) {
            ++updates;
            static_cast<QLabel&>(content).setText(QString::number(state.meterPeak().size()));
        });
    QWidget* first = view.contentWidget();
    playback.setMeterPeak({-1.0f, -2.0f});
    playback.setFraction(0.1);
    EXPECT_EQ(builds, 1);
    EXPECT_EQ(updates, 2);
    EXPECT_EQ(view.contentWidget(), first);
    EXPECT_EQ(static_cast<QLabel*>(first)->text(), QStringLiteral("2"));
}

TEST(WithPlayback, OutlivingItsStateIsHarmless) {
    auto playback = std::make_unique<PlaybackState>();
    int builds = 0;
    WithPlayback view(*playback, [&](const PlaybackState&) {
        ++builds;
        return std::make_unique<QWidget>();
    });
    playback.reset();
    EXPECT_EQ(view.playback(), nullptr);
    EXPECT_EQ(builds, 1);
}

} // namespace
} // namespace vaun
