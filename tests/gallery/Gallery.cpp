// vaun-gallery FILE OUTDIR: renders the whole preview of FILE through the real controller, and
// its three states without a file; then reads FILE as the preview would (metadata, lanes,
// analysis) and writes one PNG per view and appearance into OUTDIR, at two pixels per point.
// A FILE that cannot be opened still gives the previews (its error state) and exit status 0.
#include "GalleryPreview.h"
#include "GallerySheets.h"

#include "Toolkit/Typography.h"

#include "analysis/AudioAnalyzer.h"
#include "analysis/WaveformGenerator.h"
#include "inspect/ChannelMap.h"
#include "inspect/MetadataAssembler.h"

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <exception>

using namespace vaun;

namespace {

GalleryData readFile(const std::filesystem::path& file) {
    GalleryData data;
    data.metadata = MetadataAssembler::assemble(file);
    MetadataAssembler::addArtwork(data.metadata, file);
    data.lanes = WaveformGenerator().generateChannels(file, 512, 24);
    data.waveform = WaveformGenerator::combine(data.lanes);
    ChannelMap map;
    map.labels = data.metadata.channelLabels;
    for (const std::string& label : map.labels) map.weights.push_back(ChannelMap::weight(label));
    data.analysis = AudioAnalyzer().analyze(file, map.labels.empty() ? std::nullopt : std::optional(map), 480,
                                            neverCancelled());
    return data;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    useSystemFontForApplication();
    if (argc != 3) {
        std::fprintf(stderr, "usage: vaun-gallery FILE OUTDIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    int written = renderPreviews(argv[1], out);
    if (written < 0) return 2;
    try {
        GalleryData data;
        try {
            data = readFile(argv[1]);
        } catch (const std::exception& error) {
            std::printf("gallery: %d pictures in %s; no view sheets: %s\n", written, qPrintable(out), error.what());
            return 0;
        }
        for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark})
            for (const GallerySheet& sheet : gallerySheets()) {
                const QString name = QStringLiteral("%1/%2-%3.png")
                                         .arg(out, sheet.name, scheme == ColorScheme::dark ? "dark" : "light");
                if (!sheet.render(data, scheme).save(name)) {
                    std::fprintf(stderr, "gallery: could not write %s\n", qPrintable(name));
                    return 2;
                }
                ++written;
            }
        std::printf("gallery: %d pictures in %s\n", written, qPrintable(out));
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "gallery FAIL: %s\n", error.what());
        return 2;
    }
}
