#pragma once
// The system font at a size in points (device-independent pixels, set as pixel sizes so a
// 22-point title is 22 pixels tall at 1x), a weight and a design.
#include <QFont>
#include <QString>

namespace vaun {

enum class FontWeight { regular, medium, semibold, bold };

enum class FontDesign {
    standard,
    rounded,          // no rounded face here: the same family
    monospaced,       // the desktop's fixed-pitch font
    monospacedDigits, // the same family if its digits are tabular, else the fixed-pitch font
};

// The desktop's named text styles.
enum class TextStyle { body, callout, subheadline, caption };

QFont systemFont(double points, FontWeight weight = FontWeight::regular, FontDesign design = FontDesign::standard);
QFont systemFont(TextStyle style, FontWeight weight = FontWeight::regular, FontDesign design = FontDesign::standard);
double pointSize(TextStyle style);

// Inter where installed, else the desktop's default sans-serif family.
const QString& systemFontFamily();

// Makes the system font at the body size the application's default, so Qt's own widgets
// (labels, menus, tooltips) match the views. Needs the QApplication.
void useSystemFontForApplication();

} // namespace vaun
