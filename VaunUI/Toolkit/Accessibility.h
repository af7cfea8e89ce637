#pragma once
// What the toolkit's custom-drawn widgets tell assistive technology beyond Qt's defaults.
#include <QAccessible>
#include <QString>

class QWidget;

namespace vaun::accessibility {

// A widget showing a value in 0…1 (slider, progress bar) implements this so screen readers get
// its role, its value and the text to read for it (a time rather than a number, say).
class ValueSource {
public:
    virtual ~ValueSource() = default;
    virtual QAccessible::Role accessibleRole() const = 0;
    virtual double accessibleValue() const = 0;
    virtual QString accessibleValueText() const = 0;
    // Assistive technology setting the value counts as a user change; read-only by default.
    virtual void setAccessibleValue(double) {}
};

// Keeps a decorative widget away from assistive technology. Call before the widget is shown.
void hide(QWidget& widget);

// Registers the interfaces for ValueSource widgets and hidden widgets; safe to call repeatedly.
void install();

// Tells assistive technology that a ValueSource widget's value changed.
void notifyValueChanged(QWidget& widget);

} // namespace vaun::accessibility
