#pragma once
// Symbol images by name ("waveform", "play.fill", "folder", …), drawn from the SVGs shipped as
// resources under ":/symbols/<name>.svg" and tinted to one colour. Unknown names draw nothing.
#include <QColor>
#include <QIcon>
#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>

class QPainter;

namespace vaun::Symbols {

bool exists(const QString& name);

// The symbol, aspect kept and centred, in an image of `points` × `devicePixelRatio` pixels
// (carrying that ratio). A null image for unknown names or an empty size.
QImage image(const QString& name, const QColor& tint, QSizeF points, qreal devicePixelRatio);

// Draws the symbol into `rect`, aspect kept and centred, at the painter's resolution.
void draw(QPainter& painter, const QRectF& rect, const QString& name, const QColor& tint);

// An icon that renders the symbol at whatever size and resolution it is asked for.
QIcon icon(const QString& name, const QColor& tint);

// The square a symbol takes when set beside text of `fontPoints`: a little taller than the
// font's size, as symbol glyphs are.
QSizeF sizeForFont(double fontPoints);

} // namespace vaun::Symbols
