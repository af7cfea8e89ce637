#pragma once
// The observable state of one preview: the loaded file's facts, its reduced waveform, the
// loudness analysis and its progress, and the view switches. No logic of its own; the
// preview controller writes it and the views redraw on its change signals. Position and
// meters live in `playback` so that the playback timer does not redraw the whole preview.
#include "PlaybackState.h"
#include "analysis/AudioAnalysis.h"
#include "analysis/WaveformGenerator.h"
#include "inspect/AudioMetadata.h"

#include <QObject>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <vector>

namespace vaun {

class PreviewModel : public QObject {
    Q_OBJECT

public:
    // Which drawing the preview shows. Raw values double as the harness's mode names.
    enum class DisplayMode { waveform, channels, spectrum, loudness };
    Q_ENUM(DisplayMode)

    using Buckets = WaveformGenerator::Buckets;

private:
    Q_PROPERTY(std::optional<vaun::AudioMetadata> metadata READ metadata WRITE setMetadata NOTIFY metadataChanged)
    Q_PROPERTY(std::optional<vaun::WaveformGenerator::Buckets> waveform READ waveform WRITE setWaveform NOTIFY waveformChanged)
    Q_PROPERTY(bool isPlaying READ isPlaying WRITE setIsPlaying NOTIFY isPlayingChanged)
    Q_PROPERTY(vaun::PlaybackState* playback READ playback CONSTANT)
    Q_PROPERTY(bool isLoading READ isLoading WRITE setIsLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(std::optional<QString> errorMessage READ errorMessage WRITE setErrorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(std::vector<vaun::WaveformGenerator::Buckets> lanes READ lanes WRITE setLanes NOTIFY lanesChanged)
    Q_PROPERTY(std::optional<vaun::AudioAnalysis> analysis READ analysis WRITE setAnalysis NOTIFY analysisChanged)
    Q_PROPERTY(std::optional<double> analysisProgress READ analysisProgress WRITE setAnalysisProgress NOTIFY analysisProgressChanged)
    Q_PROPERTY(bool analysisDeferred READ analysisDeferred WRITE setAnalysisDeferred NOTIFY analysisDeferredChanged)
    Q_PROPERTY(DisplayMode mode READ mode WRITE setMode NOTIFY modeChanged)
    Q_PROPERTY(bool showFileDetails READ showFileDetails WRITE setShowFileDetails NOTIFY showFileDetailsChanged)
    Q_PROPERTY(bool showRecordingMetadata READ showRecordingMetadata WRITE setShowRecordingMetadata NOTIFY showRecordingMetadataChanged)
    Q_PROPERTY(bool showTags READ showTags WRITE setShowTags NOTIFY showTagsChanged)
    Q_PROPERTY(bool showMarkers READ showMarkers WRITE setShowMarkers NOTIFY showMarkersChanged)
    Q_PROPERTY(bool readoutShowsTimecode READ readoutShowsTimecode WRITE setReadoutShowsTimecode NOTIFY readoutShowsTimecodeChanged)
    Q_PROPERTY(std::optional<QString> playbackRoute READ playbackRoute WRITE setPlaybackRoute NOTIFY playbackRouteChanged)

public:
    static constexpr std::array<DisplayMode, 4> allDisplayModes{
        DisplayMode::waveform, DisplayMode::channels, DisplayMode::spectrum, DisplayMode::loudness};
    static QString rawValue(DisplayMode mode);
    // Exactly "Waveform", "Channels", "Spectrum" or "Loudness"; anything else gives no mode.
    static std::optional<DisplayMode> displayMode(QStringView rawValue);

    explicit PreviewModel(QObject* parent = nullptr);

    // Absent while nothing is loaded or loading.
    const std::optional<AudioMetadata>& metadata() const { return metadata_; }
    void setMetadata(const std::optional<AudioMetadata>& metadata);

    // All channels combined into one series, for the single waveform drawing.
    const std::optional<Buckets>& waveform() const { return waveform_; }
    void setWaveform(const std::optional<Buckets>& waveform);

    bool isPlaying() const { return isPlaying_; }
    void setIsPlaying(bool playing);

    // Created with the model and kept for its lifetime.
    PlaybackState* playback() { return &playback_; }
    const PlaybackState* playback() const { return &playback_; }

    bool isLoading() const { return isLoading_; }
    void setIsLoading(bool loading);

    // The one user-visible failure text.
    const std::optional<QString>& errorMessage() const { return errorMessage_; }
    void setErrorMessage(const std::optional<QString>& message);

    // One series per channel, in channel order.
    const std::vector<Buckets>& lanes() const { return lanes_; }
    void setLanes(const std::vector<Buckets>& lanes);

    const std::optional<AudioAnalysis>& analysis() const { return analysis_; }
    void setAnalysis(const std::optional<AudioAnalysis>& analysis);

    // 0…1; present exactly while an analysis runs.
    std::optional<double> analysisProgress() const { return analysisProgress_; }
    void setAnalysisProgress(std::optional<double> progress);

    // The file was too long for automatic analysis and waits for the user's request.
    bool analysisDeferred() const { return analysisDeferred_; }
    void setAnalysisDeferred(bool deferred);

    DisplayMode mode() const { return mode_; }
    void setMode(DisplayMode mode);

    bool showFileDetails() const { return showFileDetails_; }
    void setShowFileDetails(bool show);

    bool showRecordingMetadata() const { return showRecordingMetadata_; }
    void setShowRecordingMetadata(bool show);

    bool showTags() const { return showTags_; }
    void setShowTags(bool show);

    bool showMarkers() const { return showMarkers_; }
    void setShowMarkers(bool show);

    // The time readout shows the timecode at the playhead, for a file that has one, rather than
    // the elapsed time. Kept while files change, never saved.
    bool readoutShowsTimecode() const { return readoutShowsTimecode_; }
    void setReadoutShowsTimecode(bool show);

    // One-line summary of the multichannel output route while that player exists.
    const std::optional<QString>& playbackRoute() const { return playbackRoute_; }
    void setPlaybackRoute(const std::optional<QString>& route);

    // Forwarded to `playback`; only its observers are notified.
    double fraction() const { return playback_.fraction(); }
    void setFraction(double fraction) { playback_.setFraction(fraction); }
    const QVector<float>& meterPeak() const { return playback_.meterPeak(); }
    void setMeterPeak(const QVector<float>& levels) { playback_.setMeterPeak(levels); }
    const QVector<float>& meterAverage() const { return playback_.meterAverage(); }
    void setMeterAverage(const QVector<float>& levels) { playback_.setMeterAverage(levels); }

signals:
    void metadataChanged();
    void waveformChanged();
    void isPlayingChanged();
    void isLoadingChanged();
    void errorMessageChanged();
    void lanesChanged();
    void analysisChanged();
    void analysisProgressChanged();
    void analysisDeferredChanged();
    void modeChanged();
    void showFileDetailsChanged();
    void showRecordingMetadataChanged();
    void showTagsChanged();
    void showMarkersChanged();
    void readoutShowsTimecodeChanged();
    void playbackRouteChanged();

private:
    // Stores `value` and emits `changed` only when it differs from what is held.
    template <typename T, typename V>
    void assign(T& field, V&& value, void (PreviewModel::*changed)()) {
        if (field == value) return;
        field = std::forward<V>(value);
        emit(this->*changed)();
    }

    std::optional<AudioMetadata> metadata_;
    std::optional<Buckets> waveform_;
    bool isPlaying_ = false;
    PlaybackState playback_;
    bool isLoading_ = false;
    std::optional<QString> errorMessage_;
    std::vector<Buckets> lanes_;
    std::optional<AudioAnalysis> analysis_;
    std::optional<double> analysisProgress_;
    bool analysisDeferred_ = false;
    DisplayMode mode_ = DisplayMode::waveform;
    bool showFileDetails_ = false;
    bool showRecordingMetadata_ = false;
    bool showTags_ = false;
    bool showMarkers_ = false;
    bool readoutShowsTimecode_ = true;
    std::optional<QString> playbackRoute_;
};

} // namespace vaun
