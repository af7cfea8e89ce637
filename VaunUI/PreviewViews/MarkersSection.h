#pragma once
// The Markers section of the details: one row per marker in the file's order, with its time,
// timecode, kind, label, note, and for spans their length and a loop's play count. A click on
// a row moves the playhead to the marker. The rows are painted, not built: a file of 10,000
// markers costs what its visible rows cost.
#include "PreviewViews/MarkerTimeline.h"
#include "Toolkit/DisclosureSection.h"

#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace vaun {

class MarkerList : public QWidget {
    Q_OBJECT
public:
    static constexpr double kPoints = 12;
    static constexpr int kColumnGap = 16;

    MarkerList(std::shared_ptr<const MarkerTimeline> markers, std::function<void(double)> seek,
               QWidget* parent = nullptr);

    std::size_t rowCount() const { return markers_->size(); }
    int rowHeight() const { return rowHeight_; }
    // What row `i` shows: time, timecode (when the file has one), kind, label, note, length and
    // plays, the last four empty where they do not apply.
    QStringList rowTexts(std::size_t i) const;
    std::optional<std::size_t> rowAt(double y) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void hover(std::optional<std::size_t> row);
    QRect rowRect(std::size_t row) const { return {0, int(row) * rowHeight_, width(), rowHeight_}; }

    std::shared_ptr<const MarkerTimeline> markers_;
    std::function<void(double)> seek_;
    QFont font_;
    QFont digits_;
    int rowHeight_ = 0;
    // Left edges of kind and label and the width of the trailing length column.
    double timecodeLeft_ = 0, kindLeft_ = 0, labelLeft_ = 0, lengthWidth_ = 0;
    std::optional<std::size_t> hovered_;
};

// The section ("Markers", bookmark symbol) holding the list.
class MarkersSection : public DisclosureSection {
    Q_OBJECT
public:
    MarkersSection(std::shared_ptr<const MarkerTimeline> markers, std::function<void(double)> seek,
                   QWidget* parent = nullptr);

    MarkerList& list() const { return *list_; }

private:
    MarkerList* list_;
};

} // namespace vaun
