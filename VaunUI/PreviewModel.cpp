#include "PreviewModel.h"

namespace vaun {

QString PreviewModel::rawValue(DisplayMode mode) {
    switch (mode) {
    case DisplayMode::waveform: return QStringLiteral("Waveform");
    case DisplayMode::channels: return QStringLiteral("Channels");
    case DisplayMode::spectrum: return QStringLiteral("Spectrum");
    case DisplayMode::loudness: return QStringLiteral("Loudness");
    }
    return {};
}

std::optional<PreviewModel::DisplayMode> PreviewModel::displayMode(QStringView raw) {
    for (DisplayMode mode : allDisplayModes)
        if (raw.compare(rawValue(mode), Qt::CaseSensitive) == 0) return mode;
    return std::nullopt;
}

PreviewModel::PreviewModel(QObject* parent) : QObject(parent) {}

void PreviewModel::setMetadata(const std::optional<AudioMetadata>& metadata) {
    assign(metadata_, metadata, &PreviewModel::metadataChanged);
}
void PreviewModel::setWaveform(const std::optional<Buckets>& waveform) {
    assign(waveform_, waveform, &PreviewModel::waveformChanged);
}
void PreviewModel::setIsPlaying(bool playing) { assign(isPlaying_, playing, &PreviewModel::isPlayingChanged); }
void PreviewModel::setIsLoading(bool loading) { assign(isLoading_, loading, &PreviewModel::isLoadingChanged); }
void PreviewModel::setErrorMessage(const std::optional<QString>& message) {
    assign(errorMessage_, message, &PreviewModel::errorMessageChanged);
}
void PreviewModel::setLanes(const std::vector<Buckets>& lanes) { assign(lanes_, lanes, &PreviewModel::lanesChanged); }
void PreviewModel::setAnalysis(const std::optional<AudioAnalysis>& analysis) {
    assign(analysis_, analysis, &PreviewModel::analysisChanged);
}
void PreviewModel::setAnalysisProgress(std::optional<double> progress) {
    assign(analysisProgress_, progress, &PreviewModel::analysisProgressChanged);
}
void PreviewModel::setAnalysisDeferred(bool deferred) {
    assign(analysisDeferred_, deferred, &PreviewModel::analysisDeferredChanged);
}
void PreviewModel::setMode(DisplayMode mode) { assign(mode_, mode, &PreviewModel::modeChanged); }
void PreviewModel::setShowFileDetails(bool show) { assign(showFileDetails_, show, &PreviewModel::showFileDetailsChanged); }
void PreviewModel::setShowRecordingMetadata(bool show) {
    assign(showRecordingMetadata_, show, &PreviewModel::showRecordingMetadataChanged);
}
void PreviewModel::setShowTags(bool show) { assign(showTags_, show, &PreviewModel::showTagsChanged); }
void PreviewModel::setShowMarkers(bool show) { assign(showMarkers_, show, &PreviewModel::showMarkersChanged); }
void PreviewModel::setReadoutShowsTimecode(bool show) {
    assign(readoutShowsTimecode_, show, &PreviewModel::readoutShowsTimecodeChanged);
}
void PreviewModel::setPlaybackRoute(const std::optional<QString>& route) {
    assign(playbackRoute_, route, &PreviewModel::playbackRouteChanged);
}

} // namespace vaun
