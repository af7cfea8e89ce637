#pragma once
// A row of segments in a rounded container, one of them selected. Each segment is a child
// button, so screen readers see it with its title and its checked (selected) state. Disabled
// segments are dimmed and cannot be chosen by mouse or keyboard; the owner may still select
// one programmatically (the picker then shows the value it is bound to).
#include <QStringList>
#include <QWidget>

#include <vector>

namespace vaun {

class SegmentedPicker : public QWidget {
    Q_OBJECT
public:
    explicit SegmentedPicker(const QStringList& titles, QWidget* parent = nullptr);

    int count() const { return int(segments_.size()); }
    QString segmentTitle(int index) const;

    int currentIndex() const { return current_; }
    // Emits currentIndexChanged when the index actually changes; out-of-range indices are ignored.
    void setCurrentIndex(int index);

    bool isSegmentEnabled(int index) const;
    void setSegmentEnabled(int index, bool enabled);

    // The segment's rectangle in the picker's coordinates.
    QRect segmentRect(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void currentIndexChanged(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    class Segment;

    // The nearest enabled segment from the current one in `step` direction, or -1.
    int nextEnabled(int step) const;
    void layoutSegments();
    std::vector<double> naturalWidths() const;

    std::vector<Segment*> segments_; // children, owned by this widget
    int current_ = -1;
    bool keyboardFocus_ = false;
};

} // namespace vaun
