// Cost of drawing the waveform and channel-lane displays offscreen. A full repaint draws both
// cached copies anew and composites them; the floor printed next to it composites the cached
// copies and the playhead over the whole view, more than a playback tick ever repaints (only
// the strip the playhead crossed). Prints medians; asserts nothing.
#include "PreviewViews/ChannelLanesView.h"
#include "PreviewViews/WaveformView.h"
#include "Toolkit/Appearance.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using vaun::WaveformGenerator;

// Min/max pairs of a decaying tone with a little noise, like a reduced music file.
std::vector<float> burstPairs(int pairs, unsigned seed) {
    std::vector<float> values;
    values.reserve(std::size_t(2 * pairs));
    unsigned state = seed;
    for (int p = 0; p < pairs; ++p) {
        state = state * 1664525u + 1013904223u;
        const float jitter = float(state >> 8) / float(1u << 24) * 0.1f;
        const float level = float(0.9 * std::exp(-3.0 * p / pairs)) + jitter;
        values.push_back(-level * 0.95f);
        values.push_back(level);
    }
    return values;
}

double medianMicroseconds(int runs, const std::function<void()>& once) {
    std::vector<double> times;
    times.reserve(std::size_t(runs));
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        once();
        times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[std::size_t(runs / 2)];
}

// Paints the whole widget the way its window would, into an image at `ratio` pixels per point.
void paintInto(QWidget& widget, QImage& image) {
    image.fill(vaun::Appearance::of(vaun::ColorScheme::light).windowBackground);
    QPainter painter(&image);
    widget.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
}

QImage canvasFor(const QWidget& widget, qreal ratio) {
    QImage image(widget.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    return image;
}

// `invalidate` changes an input so that the next paint draws both copies anew.
template <typename View>
void measure(const char* name, View& view, const std::function<void(View&)>& invalidate) {
    constexpr int runs = 301;
    int flip = 0;
    for (qreal ratio : {1.0, 2.0}) {
        QImage image = canvasFor(view, ratio);
        paintInto(view, image);
        const int before = view.cacheBuildCount();
        const double full = medianMicroseconds(runs, [&] {
            invalidate(view);
            paintInto(view, image);
        });
        const int rebuilt = view.cacheBuildCount() - before;
        const double tick = medianMicroseconds(runs, [&] {
            view.setFraction(0.3 + 0.4 * ((++flip) % 2));
            paintInto(view, image);
        });
        std::printf("%-32s dpr %.0f  full repaint %8.1f us   tick floor %7.1f us   (%d rebuilds)\n", name, ratio, full,
                    tick, rebuilt);
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    vaun::WaveformView waveform;
    waveform.setValues(burstPairs(16384, 1));
    waveform.setFraction(0.4);
    vaun::applyColorScheme(waveform, vaun::ColorScheme::light);
    waveform.resize(900, 132);
    measure<vaun::WaveformView>("waveform 16384 buckets 900x132", waveform, [](vaun::WaveformView& view) {
        view.setGain(view.gain() == 1.0f ? 1.001f : 1.0f);
    });

    const std::vector<float> values = burstPairs(16384, 1);
    const double geometry = medianMicroseconds(1001, [&] {
        volatile auto count = vaun::waveformBarRects(values, 1, QSizeF(900, 132)).size();
        (void)count;
    });
    std::printf("%-32s        bar geometry %8.1f us\n", "waveform 16384 buckets 900x132", geometry);

    vaun::ChannelLanesView lanes;
    std::vector<WaveformGenerator::Buckets> channels(24);
    for (std::size_t k = 0; k < channels.size(); ++k) {
        channels[k].values = burstPairs(512, unsigned(k + 7));
        channels[k].bucketCount = 512;
    }
    lanes.setLanes(channels);
    lanes.setLabelWidth(34);
    lanes.setFraction(0.4);
    vaun::applyColorScheme(lanes, vaun::ColorScheme::light);
    lanes.resize(900, 264);
    measure<vaun::ChannelLanesView>("24 lanes of 512 buckets 900x264", lanes, [](vaun::ChannelLanesView& view) {
        view.setGain(view.gain() == 1.0f ? 1.001f : 1.0f);
    });
    return 0;
}
