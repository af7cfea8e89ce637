#pragma once
// The time axis under the display: labelled ticks at a step that suits the file's length and the
// width, in minutes and seconds, or in the recording's timecode when it has one.
#include "inspect/Timecode.h"

#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

namespace vaun {

struct RulerTick {
    double seconds; // into the file
    QString text;   // "1:30", "2:00:00", "0:00.5", "12:40:00:00"
    bool operator==(const RulerTick&) const = default;
};

// The ticks of a file lasting `durationSeconds` drawn `width` points wide, from the start to
// the end inclusive, far enough apart that their labels never touch. m:ss below an hour,
// h:mm:ss from an hour, tenths for steps under a second; with a timecode, its text at ticks on
// whole timecode steps.
std::vector<RulerTick> rulerTicks(double durationSeconds, double width, const std::optional<Timecode>& timecode = {});

class TimeRuler : public QWidget {
    Q_OBJECT

public:
    static constexpr double kHeight = 14;

    explicit TimeRuler(QWidget* parent = nullptr);

    void setDuration(double seconds);
    void setTimecode(std::optional<Timecode> timecode);
    // The drawing's time axis starts `inset` points in from the left (a label column).
    void setInset(double inset);

    double inset() const { return inset_; }
    // The ticks as drawn now.
    std::vector<RulerTick> ticks() const;
    // Where a time lies along the ruler, matching the drawing above it.
    double xOf(double seconds) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    double duration_ = 0;
    std::optional<Timecode> timecode_;
    double inset_ = 0;
};

} // namespace vaun
