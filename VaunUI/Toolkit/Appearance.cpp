#include "Toolkit/Appearance.h"

namespace vaun {
namespace {

// Close to the desktop platform's system colours in each appearance.
const Appearance lightAppearance{
    QColor(0, 0, 0, 217),       // primary label
    QColor(0, 0, 0, 128),       // secondary label
    QColor(255, 255, 255),      // control background
    QColor(236, 236, 236),      // window background
    QColor(0, 122, 255),        // blue
    QColor(255, 149, 0),        // orange
    QColor(255, 59, 48),        // red
    QColor(40, 205, 65),        // green
};

const Appearance darkAppearance{
    QColor(255, 255, 255, 217),
    QColor(255, 255, 255, 140),
    QColor(30, 30, 30),
    QColor(50, 50, 50),
    QColor(10, 132, 255),
    QColor(255, 159, 10),
    QColor(255, 69, 58),
    QColor(50, 215, 75),
};

} // namespace

const Appearance& Appearance::of(ColorScheme scheme) {
    return scheme == ColorScheme::dark ? darkAppearance : lightAppearance;
}

QPalette Appearance::palette() const {
    // Text colours are flattened onto the background: Qt's own widgets draw them opaque.
    auto flat = [this](const QColor& c) {
        const double a = c.alphaF();
        return QColor::fromRgbF(float(c.redF() * a + windowBackground.redF() * (1 - a)),
                                float(c.greenF() * a + windowBackground.greenF() * (1 - a)),
                                float(c.blueF() * a + windowBackground.blueF() * (1 - a)));
    };
    QPalette p;
    p.setColor(QPalette::Window, windowBackground);
    p.setColor(QPalette::WindowText, flat(primaryLabel));
    p.setColor(QPalette::Base, controlBackground);
    p.setColor(QPalette::AlternateBase, windowBackground);
    p.setColor(QPalette::Text, flat(primaryLabel));
    p.setColor(QPalette::PlaceholderText, flat(secondaryLabel));
    p.setColor(QPalette::Button, controlBackground);
    p.setColor(QPalette::ButtonText, flat(primaryLabel));
    p.setColor(QPalette::Highlight, blue);
    p.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    p.setColor(QPalette::Link, blue);
    p.setColor(QPalette::ToolTipBase, controlBackground);
    p.setColor(QPalette::ToolTipText, flat(primaryLabel));
    p.setColor(QPalette::Light, controlBackground.lighter(120));
    p.setColor(QPalette::Midlight, controlBackground);
    p.setColor(QPalette::Mid, flat(secondaryLabel));
    p.setColor(QPalette::Dark, flat(secondaryLabel).darker(120));
    p.setColor(QPalette::Shadow, QColor(0, 0, 0, 90));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, flat(secondaryLabel));
    return p;
}

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

ColorScheme colorScheme(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128 ? ColorScheme::dark : ColorScheme::light;
}

} // namespace vaun
