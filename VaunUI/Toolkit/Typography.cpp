#include "Toolkit/Typography.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QStringList>

#include <cmath>

namespace vaun {
namespace {

QFont::Weight qtWeight(FontWeight weight) {
    switch (weight) {
    case FontWeight::regular: return QFont::Normal;
    case FontWeight::medium: return QFont::Medium;
    case FontWeight::semibold: return QFont::DemiBold;
    case FontWeight::bold: return QFont::Bold;
    }
    return QFont::Normal;
}

bool hasTabularDigits(const QFont& font) {
    const QFontMetricsF metrics(font);
    const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
    for (char digit = '1'; digit <= '9'; ++digit)
        if (std::abs(metrics.horizontalAdvance(QLatin1Char(digit)) - zero) > 0.01) return false;
    return true;
}

const QString& fixedFamily() {
    static const QString family = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    return family;
}

const QString& digitsFamily() {
    static const QString family = [] {
        QFont probe(systemFontFamily());
        probe.setPixelSize(20);
        return hasTabularDigits(probe) ? systemFontFamily() : fixedFamily();
    }();
    return family;
}

} // namespace

const QString& systemFontFamily() {
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        if (installed.contains(QStringLiteral("Inter"))) return QStringLiteral("Inter");
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    return family;
}

double pointSize(TextStyle style) {
    switch (style) {
    case TextStyle::body: return 13;
    case TextStyle::callout: return 12;
    case TextStyle::subheadline: return 11;
    case TextStyle::caption: return 10;
    }
    return 13;
}

QFont systemFont(double points, FontWeight weight, FontDesign design) {
    QFont font(design == FontDesign::monospaced         ? fixedFamily()
               : design == FontDesign::monospacedDigits ? digitsFamily()
                                                        : systemFontFamily());
    // Qt's pixel sizes are whole; point sizes would scale with the screen's dots per inch.
    font.setPixelSize(std::max(1, int(std::lround(points))));
    font.setWeight(qtWeight(weight));
    font.setHintingPreference(QFont::PreferVerticalHinting);
    return font;
}

QFont systemFont(TextStyle style, FontWeight weight, FontDesign design) {
    return systemFont(pointSize(style), weight, design);
}

void useSystemFontForApplication() { QApplication::setFont(systemFont(TextStyle::body)); }

} // namespace vaun
