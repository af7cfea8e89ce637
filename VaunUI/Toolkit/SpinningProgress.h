#pragma once
// Progress indicators: an indeterminate spinner with an optional label under it, and a thin
// linear bar for a known fraction.
#include "Toolkit/Accessibility.h"

#include <QBasicTimer>
#include <QWidget>

namespace vaun {

// Turns only while visible; the timer stops as soon as the widget is hidden.
class SpinningProgress : public QWidget {
    Q_OBJECT
public:
    static constexpr int kIndicatorSize = 32;
    static constexpr int kSpokes = 12;
    static constexpr int kStepMs = 80;

    explicit SpinningProgress(const QString& label = {}, QWidget* parent = nullptr);

    QString label() const { return label_; }
    void setLabel(const QString& label);

    bool isAnimating() const { return timer_.isActive(); }
    int phase() const { return phase_; }

    // Where the spinner sits, in the widget's coordinates.
    QRect indicatorRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QString label_;
    QBasicTimer timer_;
    int phase_ = 0;
};

// A rounded track with a blue fill for a value in 0…1; 160 points wide unless told otherwise.
class LinearProgress : public QWidget, public accessibility::ValueSource {
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 160;
    static constexpr int kTrackHeight = 6;

    explicit LinearProgress(QWidget* parent = nullptr);

    double value() const { return value_; }
    void setValue(double value); // clamped to 0…1

    QSize sizeHint() const override;

    QAccessible::Role accessibleRole() const override { return QAccessible::ProgressBar; }
    double accessibleValue() const override { return value_; }
    QString accessibleValueText() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double value_ = 0;
};

} // namespace vaun
