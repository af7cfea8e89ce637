#include "PreviewViews/VaunArt.h"

#include <QImageReader>

namespace vaun::VaunArt {

std::optional<QImage> load(const QString& path) {
    QImageReader reader(path, "png");
    QImage image = reader.read();
    if (image.isNull()) return std::nullopt;
    image.setDevicePixelRatio(2);
    return image;
}

std::optional<QImage> image(const QString& name) {
    return load(QStringLiteral(":/art/%1.png").arg(name));
}

// Function-local statics: built on first use, exactly once, thread-safely, never released.
const std::optional<QImage>& artworkLight() {
    static const std::optional<QImage> value = image(QStringLiteral("artwork-light"));
    return value;
}
const std::optional<QImage>& artworkDark() {
    static const std::optional<QImage> value = image(QStringLiteral("artwork-dark"));
    return value;
}
const std::optional<QImage>& plateLight() {
    static const std::optional<QImage> value = image(QStringLiteral("meter-plate-light"));
    return value;
}
const std::optional<QImage>& plateDark() {
    static const std::optional<QImage> value = image(QStringLiteral("meter-plate-dark"));
    return value;
}

} // namespace vaun::VaunArt
