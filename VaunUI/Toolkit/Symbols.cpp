#include "Toolkit/Symbols.h"

#include "Toolkit/DevicePixels.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <memory>

namespace vaun::Symbols {
namespace {

// Every SVG under ":/symbols", read once.
const QHash<QString, QByteArray>& library() {
    static const QHash<QString, QByteArray> symbols = [] {
        QHash<QString, QByteArray> read;
        for (QDirIterator it(QStringLiteral(":/symbols"), {QStringLiteral("*.svg")}, QDir::Files); it.hasNext();) {
            QFile file(it.next());
            if (file.open(QIODevice::ReadOnly)) read.insert(QFileInfo(file).completeBaseName(), file.readAll());
        }
        return read;
    }();
    return symbols;
}

QRectF fitted(QSizeF content, const QRectF& rect) {
    content.scale(rect.size(), Qt::KeepAspectRatio);
    return QRectF(rect.center() - QPointF(content.width() / 2, content.height() / 2), content);
}

// Renders the symbol in black into a transparent image, then keeps its coverage in `tint`.
QImage tinted(const QByteArray& svg, const QColor& tint, QSize pixels) {
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) return image;
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    renderer.render(&painter, fitted(renderer.viewBoxF().size(), QRectF(QPointF(), QSizeF(pixels))));
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), tint);
    return image;
}

class SymbolIconEngine : public QIconEngine {
public:
    SymbolIconEngine(QString name, QColor tint) : name_(std::move(name)), tint_(tint) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        draw(*painter, rect, name_, mode == QIcon::Disabled ? disabledTint() : tint_);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        const QColor tint = mode == QIcon::Disabled ? disabledTint() : tint_;
        return QPixmap::fromImage(image(name_, tint, QSizeF(size), scale));
    }

    QIconEngine* clone() const override { return std::make_unique<SymbolIconEngine>(name_, tint_).release(); }
    QString key() const override { return QStringLiteral("vaun.symbol"); }
    bool isNull() override { return !exists(name_); }

private:
    QColor disabledTint() const {
        QColor dimmed = tint_;
        dimmed.setAlphaF(tint_.alphaF() * 0.4f);
        return dimmed;
    }

    QString name_;
    QColor tint_;
};

} // namespace

bool exists(const QString& name) { return library().contains(name); }

QImage image(const QString& name, const QColor& tint, QSizeF points, qreal devicePixelRatio) {
    const auto found = library().constFind(name);
    const QSize pixels(int(std::ceil(points.width() * devicePixelRatio - 1e-6)),
                       int(std::ceil(points.height() * devicePixelRatio - 1e-6)));
    if (found == library().constEnd() || pixels.isEmpty()) return {};
    QImage result = tinted(*found, tint, pixels);
    result.setDevicePixelRatio(devicePixelRatio);
    return result;
}

void draw(QPainter& painter, const QRectF& rect, const QString& name, const QColor& tint) {
    if (!exists(name) || rect.isEmpty()) return;
    // Rendered at the device's resolution so small symbols stay crisp on high-density screens.
    const qreal scale = paintedPixelRatio(painter);
    const qreal zoom = std::hypot(painter.worldTransform().m11(), painter.worldTransform().m12());
    const QImage picture = image(name, tint, rect.size(), scale * std::max<qreal>(zoom, 1.0));
    const QSizeF drawn(picture.width() / picture.devicePixelRatio(), picture.height() / picture.devicePixelRatio());
    const QRectF target(rect.center() - QPointF(drawn.width() / 2, drawn.height() / 2), drawn);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture);
    painter.restore();
}

QIcon icon(const QString& name, const QColor& tint) {
    return QIcon(std::make_unique<SymbolIconEngine>(name, tint).release());
}

QSizeF sizeForFont(double fontPoints) { return QSizeF(fontPoints * 1.2, fontPoints * 1.2); }

} // namespace vaun::Symbols
