#pragma once
// The row of channel labels under the level meters, one slot per meter. Levels change many
// times a second; this row repaints only when its own contents change.
#include <QStringList>
#include <QWidget>

namespace vaun {

class MeterLabels : public QWidget {
    Q_OBJECT

public:
    struct Content {
        QStringList labels; // one per slot; slots beyond the list stay empty
        int count = 0;      // number of slots
        double column = 0;  // slot width in points, the meter width
        double spacing = 0; // gap between slots in points

        bool operator==(const Content&) const = default;
    };

    explicit MeterLabels(QWidget* parent = nullptr);

    // Equal contents are ignored: no relayout, no repaint.
    void setContent(const Content& content);
    const Content& content() const { return content_; }

    // The slots' extent; the row is centred in the widget so long labels can overflow the
    // outer slots into the surrounding margin.
    double rowWidth() const;
    QFont labelFont() const;
    // The labels as drawn: each centred on its slot and elided so that none reaches another.
    QStringList shownLabels() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    Content content_;
};

} // namespace vaun
