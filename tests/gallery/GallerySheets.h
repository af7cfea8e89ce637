#pragma once
// One sheet per preview view: representative inputs around the view, in one appearance.
#include "Toolkit/Appearance.h"

#include "analysis/AudioAnalysis.h"
#include "analysis/WaveformGenerator.h"
#include "inspect/AudioMetadata.h"

#include <QImage>
#include <QString>

#include <functional>
#include <vector>

namespace vaun {

struct GalleryData {
    AudioMetadata metadata;
    std::vector<WaveformGenerator::Buckets> lanes;
    WaveformGenerator::Buckets waveform;
    AudioAnalysis analysis;
};

struct GallerySheet {
    QString name;
    std::function<QImage(const GalleryData&, ColorScheme)> render;
};

std::vector<GallerySheet> gallerySheets();

} // namespace vaun
