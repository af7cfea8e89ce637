#include "PreviewViews/ArtworkView.h"

#include "PreviewViews/VaunArt.h"
#include "Toolkit/Accessibility.h"
#include "Toolkit/DevicePixels.h"
#include "Toolkit/Symbols.h"

#include <QBuffer>
#include <QFutureWatcher>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QPromise>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <memory>

namespace vaun {
namespace {

QSize boundedSize(QSize size, int maxPixels) {
    const int longer = std::max(size.width(), size.height());
    if (longer <= maxPixels) return size;
    const double scale = double(maxPixels) / longer;
    return QSize(std::max(1, int(std::lround(size.width() * scale))), std::max(1, int(std::lround(size.height() * scale))));
}

// The centred part of `image` with the aspect ratio of `target`.
QRectF filledSource(const QImage& image, QSizeF target) {
    const QSizeF full(image.size());
    QSizeF crop = target.scaled(full, Qt::KeepAspectRatio);
    return QRectF(QPointF((full.width() - crop.width()) / 2, (full.height() - crop.height()) / 2), crop);
}

QRectF fittedTarget(const QImage& image, const QRectF& tile) {
    const QSizeF fitted = QSizeF(image.size()).scaled(tile.size(), Qt::KeepAspectRatio);
    return QRectF(tile.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted);
}

} // namespace

ArtworkView::ArtworkView(QWidget* parent) : QWidget(parent) {
    setFixedSize(kSide, kSide);
    accessibility::hide(*this);
}

void ArtworkView::setData(Data data) {
    if (data == data_) return;
    data_ = std::move(data);
    startDecoding();
}

void ArtworkView::startDecoding() {
    const std::uint64_t generation = ++generation_;
    setArtwork(std::nullopt);
    decoding_ = data_.has_value() && !data_->empty();
    if (!decoding_) return;

    QByteArray bytes(reinterpret_cast<const char*>(data_->data()), qsizetype(data_->size()));
    auto promise = std::make_shared<QPromise<QImage>>();
    auto* watcher = std::make_unique<QFutureWatcher<QImage>>(this).release();
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        if (generation != generation_) return; // a newer picture has been set since
        decoding_ = false;
        const QFuture<QImage> future = watcher->future();
        if (future.resultCount() > 0 && !future.result().isNull()) setArtwork(future.result());
    });
    watcher->setFuture(promise->future());
    promise->start();
    QThreadPool::globalInstance()->start([promise, bytes = std::move(bytes)] {
        promise->addResult(decodeThumbnail(bytes).value_or(QImage()));
        promise->finish();
    });
}

void ArtworkView::setArtwork(std::optional<QImage> artwork) {
    if (!artwork && !artwork_) return;
    artwork_ = std::move(artwork);
    tile_ = QImage();
    update();
    emit artworkChanged();
}

std::optional<QImage> ArtworkView::decodeThumbnail(const QByteArray& bytes, int maxPixels) {
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return std::nullopt;
    QImageReader reader(&buffer);
    // Decoders that can scale while reading (JPEG) then never hold the full picture.
    if (const QSize full = reader.size(); full.isValid()) reader.setScaledSize(boundedSize(full, maxPixels));
    QImage image = reader.read();
    if (image.isNull()) return std::nullopt;
    if (std::max(image.width(), image.height()) > maxPixels)
        image = image.scaled(boundedSize(image.size(), maxPixels), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

const std::optional<QImage>& ArtworkView::defaultArt(ColorScheme scheme) {
    return scheme == ColorScheme::dark ? VaunArt::artworkDark() : VaunArt::artworkLight();
}

QImage ArtworkView::tileImage(QSizeF points, qreal devicePixelRatio, const std::optional<QImage>& artwork,
                              const std::optional<QImage>& defaultArt, ColorScheme scheme) {
    const QSize pixels = (points * devicePixelRatio).toSize();
    if (pixels.isEmpty()) return {};
    QImage tile(pixels, QImage::Format_ARGB32_Premultiplied);
    tile.setDevicePixelRatio(devicePixelRatio);
    tile.fill(Qt::transparent);
    const QRectF bounds(QPointF(), points);
    {
        QPainter painter(&tile);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        if (artwork && !artwork->isNull()) {
            painter.drawImage(bounds, *artwork, filledSource(*artwork, bounds.size()));
        } else if (defaultArt && !defaultArt->isNull()) {
            painter.drawImage(fittedTarget(*defaultArt, bounds), *defaultArt);
        } else {
            const QColor blue = Appearance::of(scheme).blue;
            painter.fillRect(bounds, withOpacity(blue, kSymbolTileOpacity));
            const QSizeF box = Symbols::sizeForFont(kSymbolPoints);
            Symbols::draw(painter, QRectF(bounds.center() - QPointF(box.width() / 2, box.height() / 2), box),
                          QStringLiteral("waveform"), blue);
        }
    }
    // Clipping paths are not anti-aliased; masking the finished tile keeps the corners smooth.
    QImage mask(pixels, QImage::Format_ARGB32_Premultiplied);
    mask.setDevicePixelRatio(devicePixelRatio);
    mask.fill(Qt::transparent);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath rounded;
        rounded.addRoundedRect(bounds, kCornerRadius, kCornerRadius);
        painter.fillPath(rounded, Qt::black);
    }
    QPainter painter(&tile);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.drawImage(bounds, mask);
    return tile;
}

void ArtworkView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const qreal ratio = paintedPixelRatio(painter);
    if (tile_.isNull() || tile_.devicePixelRatio() != ratio) {
        const ColorScheme scheme = colorScheme(*this);
        tile_ = tileImage(QSizeF(size()), ratio, artwork_, defaultArt(scheme), scheme);
    }
    painter.drawImage(QPointF(), tile_);
}

void ArtworkView::changeEvent(QEvent* event) {
    // A new appearance picks other default art; the thumbnail itself stays.
    if (event->type() == QEvent::PaletteChange) {
        tile_ = QImage();
        update();
    }
    QWidget::changeEvent(event);
}

void ArtworkView::resizeEvent(QResizeEvent* event) {
    tile_ = QImage();
    QWidget::resizeEvent(event);
}

} // namespace vaun
