// The widget half of Appearance, apart so that drawing without widgets needs only Qt GUI.
#include "Toolkit/Appearance.h"

#include <QWidget>

namespace vaun {

ColorScheme colorScheme(const QWidget& widget) { return colorScheme(widget.palette()); }

void applyColorScheme(QWidget& root, ColorScheme scheme) { root.setPalette(Appearance::of(scheme).palette()); }

} // namespace vaun
