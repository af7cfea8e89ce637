#pragma once
// The pieces the information sections are made of: the value cells of the facts and loudness
// strips (`fact`, `level`), the strips' dividers and background, secondary text that follows
// the appearance, and the label/value rows of the detail sections (`row`).
#include "PreviewViews/PreviewText.h"

#include <QLabel>
#include <QWidget>

#include <optional>

namespace vaun {

// One value over its title, centred in an equal share of a strip's width, and one element for
// assistive technology ("48 kHz, Sample rate"). A level cell may warn (orange) or clip (red);
// either puts a warning symbol before the value and explains itself in a tooltip. A value too
// wide for the cell shrinks to three quarters of its size and is then cut with an ellipsis.
class InfoCell : public QWidget {
    Q_OBJECT
public:
    static constexpr double kValuePoints = 16;
    static constexpr double kTitlePoints = 11;
    static constexpr double kSymbolPoints = 11;
    static constexpr double kMinimumScale = 0.75;
    static constexpr int kSpacing = 6;   // value to title
    static constexpr int kSymbolGap = 4; // symbol to value
    static constexpr int kPadding = 8;   // left and right

    InfoCell(const QString& title, const QString& value, QWidget* parent = nullptr);

    QString title() const { return title_; }
    QString value() const { return value_; }

    bool warns() const { return warn_; }
    bool clips() const { return clip_; }
    bool showsSymbol() const { return warn_ || clip_; }
    void setLevel(bool warn, bool clip);

    // Red when clipping, else orange when warning, else the primary label colour.
    QColor valueColor() const;
    // The scale the value line is drawn at in the current width: 1, or down to kMinimumScale.
    double valueScale() const;
    // The value text as drawn in the current width (elided when even the smallest scale is too wide).
    QString shownValue() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double symbolAdvance() const;
    double lineWidth(const QString& text) const;

    QString title_;
    QString value_;
    bool warn_ = false;
    bool clip_ = false;
};

// A value cell of the facts or loudness strip.
InfoCell* fact(const QString& title, const QString& value, QWidget* parent = nullptr);
InfoCell* level(const QString& title, const QString& value, bool warn, bool clip, QWidget* parent = nullptr);

// The hairline between two cells of a strip, 30 points high.
class StripDivider : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 30;
    explicit StripDivider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Fills `widget` with the strips' background: the control background in a rounded rectangle.
void paintStripBackground(QWidget& widget);

// One detail: the label in a 128-point column, the value as selectable text that wraps. Not
// shown at all while the value is absent or empty. Give it its parent when creating it.
class DetailRow : public QWidget {
    Q_OBJECT
public:
    static constexpr double kPoints = 12;
    static constexpr int kLabelWidth = 128;
    static constexpr int kSpacing = 18;

    DetailRow(const QString& label, const std::optional<QString>& value, QWidget* parent = nullptr);

    QString label() const;
    QString value() const;
    void setValue(const std::optional<QString>& value);

    QLabel& labelText() const { return *label_; }
    QLabel& valueText() const { return *value_; }

private:
    PreviewText* label_;
    QLabel* value_;
};

DetailRow* row(const QString& label, const std::optional<QString>& value, QWidget* parent = nullptr);

} // namespace vaun
