#pragma once
// Light and dark appearance: the named colours the views draw with. The current appearance
// travels down the widget tree in the palette, so switching it on a top-level widget reaches
// every view as a QEvent::PaletteChange.
#include <QColor>
#include <QPalette>

class QWidget;

namespace vaun {

enum class ColorScheme { light, dark };

struct Appearance {
    QColor primaryLabel;
    QColor secondaryLabel;
    QColor controlBackground;
    QColor windowBackground;
    QColor blue;
    QColor orange;
    QColor red;
    QColor green;

    static const Appearance& of(ColorScheme scheme);

    // A widget palette carrying these colours; its lightness identifies the scheme.
    QPalette palette() const;
};

// `color` with its alpha multiplied by `opacity`.
QColor withOpacity(QColor color, double opacity);

// The scheme a palette (or a widget's palette) stands for: dark when its window colour is dark.
ColorScheme colorScheme(const QPalette& palette);
ColorScheme colorScheme(const QWidget& widget);

// Gives `root` and all its children the palette of `scheme`.
void applyColorScheme(QWidget& root, ColorScheme scheme);

} // namespace vaun
