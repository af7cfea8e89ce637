#include "GallerySheets.h"

#include "PreviewViews/ArtworkView.h"
#include "PreviewViews/Badge.h"
#include "PreviewViews/ChannelLanesView.h"
#include "PreviewViews/GlassControl.h"
#include "PreviewViews/MeterBank.h"
#include "PreviewViews/SpectrogramView.h"
#include "PreviewViews/WaveformView.h"
#include "Toolkit/DisclosureSection.h"
#include "Toolkit/SegmentedPicker.h"
#include "Toolkit/Slider.h"
#include "Toolkit/SpinningProgress.h"
#include "Toolkit/Symbols.h"
#include "Toolkit/Typography.h"

#include "inspect/ChannelMap.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

#include <memory>

namespace vaun {
namespace {

constexpr qreal pixelsPerPoint = 2;
constexpr int margin = 16;

template <typename T, typename... Args>
T* child(QLayout& layout, Args&&... args) {
    auto* widget = std::make_unique<T>(std::forward<Args>(args)...).release();
    layout.addWidget(widget); // the layout hands it to its parent widget
    return widget;
}

// A sheet is a plain window-coloured panel holding the view at a fixed size.
QImage capture(QWidget& panel, QSize size, ColorScheme scheme) {
    applyColorScheme(panel, scheme);
    panel.resize(size);
    panel.ensurePolished();
    QApplication::sendPostedEvents();
    QApplication::processEvents();
    QImage image(size * pixelsPerPoint, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixelsPerPoint);
    image.fill(Appearance::of(scheme).windowBackground);
    QPainter painter(&image);
    panel.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

QStringList labelsOf(const GalleryData& data) {
    QStringList labels;
    for (const std::string& label : data.metadata.channelLabels) labels << QString::fromStdString(label);
    return labels;
}

QImage waveform(const GalleryData& data, ColorScheme scheme) {
    QWidget panel;
    auto* layout = std::make_unique<QVBoxLayout>(&panel).release();
    layout->setContentsMargins(margin, margin, margin, margin);
    auto* view = child<WaveformView>(*layout);
    view->setValues(data.waveform.values);
    view->setFraction(0.4);
    return capture(panel, {900 + 2 * margin, 132 + 2 * margin}, scheme);
}

QImage lanes(const std::vector<WaveformGenerator::Buckets>& lanes, const QStringList& labels, ColorScheme scheme) {
    QWidget panel;
    auto* layout = std::make_unique<QVBoxLayout>(&panel).release();
    layout->setContentsMargins(margin, margin, margin, margin);
    auto* view = child<ChannelLanesView>(*layout);
    view->setLanes(lanes);
    view->setLabels(labels);
    view->setLabelWidth(34);
    view->setFraction(0.4);
    const int n = int(lanes.size());
    const double laneHeight = std::min(264.0 / std::max(n, 1), 22.0);
    const int height = int(std::max(laneHeight * n, 132.0));
    return capture(panel, {900 + 2 * margin, height + 2 * margin}, scheme);
}

QImage lanes24(const GalleryData& data, ColorScheme scheme) {
    std::vector<WaveformGenerator::Buckets> many;
    for (int i = 0; i < 24 && !data.lanes.empty(); ++i) many.push_back(data.lanes[std::size_t(i) % data.lanes.size()]);
    QStringList labels;
    for (const std::string& label : ChannelMap::defaultLabels(24)) labels << QString::fromStdString(label);
    labels = labels.mid(0, 20); // the last four lanes show their numbers
    return lanes(many, labels, scheme);
}

QImage spectrogram(const GalleryData& data, ColorScheme scheme) {
    QWidget panel;
    auto* layout = std::make_unique<QVBoxLayout>(&panel).release();
    layout->setContentsMargins(margin, margin, margin, margin);
    auto* view = child<SpectrogramView>(*layout);
    if (data.analysis.spectrogram) view->setSpectrogram(*data.analysis.spectrogram);
    view->setFraction(0.4);
    return capture(panel, {900 + 2 * margin, 132 + 2 * margin}, scheme);
}

QImage meters(const QStringList& labels, int height, ColorScheme scheme) {
    QWidget panel;
    auto* layout = std::make_unique<QHBoxLayout>(&panel).release();
    layout->setContentsMargins(margin, margin, margin, margin);
    auto* bank = child<MeterBank>(*layout);
    bank->setLabels(labels);
    // A loud moment first, then quieter levels: the ticks hold the earlier peaks.
    QVector<float> peak, average;
    for (int i = 0; i < labels.size(); ++i) {
        peak << -1.5f - 2.5f * float(i % 7);
        average << -8.0f - 3.5f * float(i % 9);
    }
    bank->setLevels(peak, average);
    for (float& level : peak) level -= 6;
    bank->setLevels(peak, average);
    return capture(panel, {bank->sizeHint().width() + 2 * margin, height + 2 * margin}, scheme);
}

QByteArray coverPicture() {
    QImage picture(1200, 800, QImage::Format_RGB32);
    QPainter painter(&picture);
    QLinearGradient sky(0, 0, 0, 800);
    sky.setColorAt(0, QColor(250, 170, 90));
    sky.setColorAt(1, QColor(90, 40, 120));
    painter.fillRect(picture.rect(), sky);
    painter.setBrush(QColor(255, 235, 180));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(600, 520), 180, 180);
    painter.fillRect(QRect(0, 560, 1200, 240), QColor(40, 20, 60));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPEG", 85);
    return bytes;
}

QImage controls(const GalleryData&, ColorScheme scheme) {
    QWidget panel;
    auto* grid = std::make_unique<QVBoxLayout>(&panel).release();
    grid->setContentsMargins(margin, margin, margin, margin);
    grid->setSpacing(14);

    auto* header = std::make_unique<QHBoxLayout>().release();
    grid->addLayout(header); // owned by the grid from here on
    header->setSpacing(12);
    child<ArtworkView>(*header);
    auto* cover = child<ArtworkView>(*header);
    const QByteArray jpeg = coverPicture();
    cover->setData(std::vector<std::uint8_t>(jpeg.begin(), jpeg.end()));
    for (const char* text : {"ADM BWF · 12 tracks", "Dolby metadata", "RF64"}) child<Badge>(*header, QString::fromUtf8(text));
    auto* folder = child<GlassControl>(*header, false);
    folder->setSymbol(QStringLiteral("folder"));
    folder->setFixedSize(24, 24);
    header->addStretch();

    auto* modes = std::make_unique<QHBoxLayout>().release();
    grid->addLayout(modes);
    auto* picker = child<SegmentedPicker>(*modes, QStringList{"Waveform", "Channels", "Spectrum"});
    picker->setSegmentEnabled(1, false);
    modes->addStretch();
    auto* time = child<QLabel>(*modes, QStringLiteral("0:04.0 / 0:20.0"));
    time->setFont(systemFont(12, FontWeight::medium, FontDesign::monospaced));

    auto* slider = child<Slider>(*grid);
    slider->setValue(0.2);

    auto* transport = std::make_unique<QHBoxLayout>().release();
    grid->addLayout(transport);
    auto* play = child<GlassControl>(*transport, QStringLiteral("Play"), true);
    play->setSymbol(QStringLiteral("play.fill"));
    play->setFont(systemFont(13, FontWeight::semibold));
    play->setFixedSize(78, 28);
    auto* stop = child<GlassControl>(*transport, false);
    stop->setSymbol(QStringLiteral("stop.fill"));
    stop->setFixedSize(28, 28);
    child<GlassControl>(*transport, QStringLiteral("Analyse this file"), false);
    auto* open = child<GlassControl>(*transport, QStringLiteral("Open Audio File…"), true);
    open->setControlSize(GlassControl::ControlSize::large);
    transport->addStretch();

    auto* progress = std::make_unique<QHBoxLayout>().release();
    grid->addLayout(progress);
    child<SpinningProgress>(*progress, QStringLiteral("Reading audio…"));
    auto* bar = child<LinearProgress>(*progress);
    bar->setValue(0.42);
    bar->setFixedWidth(160);
    progress->addStretch();

    auto* details = child<DisclosureSection>(*grid, QStringLiteral("File details"), QStringLiteral("info.circle"));
    details->setContent(std::make_unique<QLabel>(QStringLiteral("Sample rate    48 kHz")).release());
    details->setExpanded(true);
    child<DisclosureSection>(*grid, QStringLiteral("Recording metadata"), QStringLiteral("waveform.badge.mic"));
    grid->addStretch();

    QElapsedTimer waited;
    waited.start();
    while (cover->isDecoding() && waited.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return capture(panel, {620, 420}, scheme);
}

QImage symbols(const GalleryData&, ColorScheme scheme) {
    const QStringList names{"waveform", "play.fill", "pause.fill", "stop.fill", "folder", "headphones",
                            "hifispeaker.2", "exclamationmark.circle", "exclamationmark.triangle",
                            "exclamationmark.triangle.fill", "info.circle", "waveform.badge.mic",
                            "waveform.badge.exclamationmark"};
    const Appearance& look = Appearance::of(scheme);
    const QSize size(names.size() * 48 + 2 * margin, 2 * 48 + 2 * margin);
    QImage image(size * pixelsPerPoint, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixelsPerPoint);
    image.fill(look.windowBackground);
    QPainter painter(&image);
    for (int i = 0; i < names.size(); ++i) {
        Symbols::draw(painter, QRectF(margin + i * 48 + 8, margin + 8, 32, 32), names[i], look.blue);
        Symbols::draw(painter, QRectF(margin + i * 48 + 14, margin + 60, 20, 20), names[i], look.primaryLabel);
    }
    return image;
}

} // namespace

std::vector<GallerySheet> gallerySheets() {
    return {
        {QStringLiteral("waveform"), waveform},
        {QStringLiteral("lanes"), [](const GalleryData& d, ColorScheme s) { return lanes(d.lanes, labelsOf(d), s); }},
        {QStringLiteral("lanes-24"), lanes24},
        {QStringLiteral("spectrogram"), spectrogram},
        {QStringLiteral("meters"), [](const GalleryData& d, ColorScheme s) { return meters(labelsOf(d), 132, s); }},
        {QStringLiteral("meters-16"),
         [](const GalleryData&, ColorScheme s) {
             QStringList labels;
             for (const std::string& l : ChannelMap::defaultLabels(16)) labels << QString::fromStdString(l);
             return meters(labels, 264, s);
         }},
        {QStringLiteral("controls"), controls},
        {QStringLiteral("symbols"), symbols},
    };
}

} // namespace vaun
