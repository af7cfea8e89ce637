#pragma once
// A horizontal slider over 0…1 in the small control size, its filled part tinted blue.
// valueChanged reports the user's changes only (drag, click, keys, assistive technology);
// setValue moves the knob silently, so an owner can bind it to a value that also changes
// elsewhere (a playback position) without feedback loops.
#include "Toolkit/Accessibility.h"

#include <QWidget>

namespace vaun {

class Slider : public QWidget, public accessibility::ValueSource {
    Q_OBJECT
public:
    static constexpr double kKeyStep = 0.01;
    static constexpr double kPageStep = 0.1;

    explicit Slider(QWidget* parent = nullptr);

    double value() const { return value_; }
    void setValue(double value); // clamped to 0…1; no signal

    // What screen readers read as the value; the percentage when empty.
    void setAccessibleValueText(const QString& text);

    bool isDragging() const { return dragging_; }

    // The knob's centre for `value` along the track, in the slider's coordinates.
    double knobCentre(double value) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    QAccessible::Role accessibleRole() const override { return QAccessible::Slider; }
    double accessibleValue() const override { return value_; }
    QString accessibleValueText() const override;
    void setAccessibleValue(double value) override { setFromUser(value); }

signals:
    void valueChanged(double value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void setFromUser(double value);
    void moveKnob(double value);
    double valueAt(double x) const;

    double value_ = 0;
    QString valueText_;
    bool dragging_ = false;
    bool keyboardFocus_ = false;
};

} // namespace vaun
