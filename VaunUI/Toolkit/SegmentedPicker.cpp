#include "Toolkit/SegmentedPicker.h"

#include "Toolkit/Appearance.h"
#include "Toolkit/Typography.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <memory>
#include <numeric>

namespace vaun {
namespace {

constexpr double kHeight = 22;
constexpr double kInset = 2;          // between the container's edge and the selected segment
constexpr double kPadding = 11;       // left and right of each title
constexpr double kContainerRadius = 6.5;
constexpr double kSegmentRadius = 5;

} // namespace

// One segment: a checkable button that draws its title and, when selected, the raised knob.
class SegmentedPicker::Segment : public QAbstractButton {
public:
    Segment(const QString& title, QWidget* parent) : QAbstractButton(parent) {
        setText(title);
        setCheckable(true);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const Appearance& look = Appearance::of(colorScheme(*this));
        const bool dark = colorScheme(*this) == ColorScheme::dark;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF knob = QRectF(rect()).adjusted(kInset, kInset, -kInset, -kInset);
        if (isChecked()) {
            if (!dark) {
                QPainterPath shadow;
                shadow.addRoundedRect(knob.translated(0, 0.5), kSegmentRadius, kSegmentRadius);
                painter.fillPath(shadow, QColor(0, 0, 0, 28));
            }
            QPainterPath path;
            path.addRoundedRect(knob, kSegmentRadius, kSegmentRadius);
            painter.fillPath(path, dark ? withOpacity(QColor(255, 255, 255), 0.24) : look.controlBackground);
        } else if (isEnabled() && isDown()) {
            QPainterPath path;
            path.addRoundedRect(knob, kSegmentRadius, kSegmentRadius);
            painter.fillPath(path, withOpacity(look.primaryLabel, 0.08));
        }
        painter.setFont(font());
        painter.setPen(isEnabled() ? look.primaryLabel : withOpacity(look.secondaryLabel, 0.55));
        painter.drawText(QRectF(rect()), Qt::AlignCenter, text());
    }

    void nextCheckState() override {} // the picker decides what is selected
};

SegmentedPicker::SegmentedPicker(const QStringList& titles, QWidget* parent) : QWidget(parent) {
    setFont(systemFont(TextStyle::body));
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    for (int i = 0; i < titles.size(); ++i) {
        auto* segment = std::make_unique<Segment>(titles[i], this).release();
        segments_.push_back(segment);
        connect(segment, &QAbstractButton::clicked, this, [this, i] { setCurrentIndex(i); });
    }
    setCurrentIndex(titles.isEmpty() ? -1 : 0);
    layoutSegments();
}

QString SegmentedPicker::segmentTitle(int index) const {
    return index >= 0 && index < count() ? segments_[size_t(index)]->text() : QString();
}

void SegmentedPicker::setCurrentIndex(int index) {
    if (index == current_ || index < 0 || index >= count()) return;
    current_ = index;
    for (int i = 0; i < count(); ++i) segments_[size_t(i)]->setChecked(i == current_);
    update();
    emit currentIndexChanged(current_);
}

bool SegmentedPicker::isSegmentEnabled(int index) const {
    return index >= 0 && index < count() && segments_[size_t(index)]->isEnabled();
}

void SegmentedPicker::setSegmentEnabled(int index, bool enabled) {
    if (index < 0 || index >= count()) return;
    segments_[size_t(index)]->setEnabled(enabled);
}

QRect SegmentedPicker::segmentRect(int index) const {
    return index >= 0 && index < count() ? segments_[size_t(index)]->geometry() : QRect();
}

std::vector<double> SegmentedPicker::naturalWidths() const {
    const QFontMetricsF metrics(font());
    std::vector<double> widths;
    for (const Segment* segment : segments_)
        widths.push_back(std::ceil(metrics.horizontalAdvance(segment->text())) + 2 * kPadding);
    return widths;
}

QSize SegmentedPicker::sizeHint() const {
    const std::vector<double> widths = naturalWidths();
    return QSize(int(std::accumulate(widths.begin(), widths.end(), 0.0)), int(kHeight));
}

void SegmentedPicker::layoutSegments() {
    const std::vector<double> widths = naturalWidths();
    const double total = std::accumulate(widths.begin(), widths.end(), 0.0);
    // Extra width, if the layout gives any, is shared in proportion to the titles.
    const double scale = total > 0 ? width() / total : 0;
    double x = 0;
    for (size_t i = 0; i < segments_.size(); ++i) {
        const int left = int(std::lround(x));
        x += widths[i] * scale;
        segments_[i]->setGeometry(left, 0, int(std::lround(x)) - left, height());
    }
}

void SegmentedPicker::paintEvent(QPaintEvent*) {
    const Appearance& look = Appearance::of(colorScheme(*this));
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath track;
    track.addRoundedRect(QRectF(rect()), kContainerRadius, kContainerRadius);
    painter.fillPath(track, withOpacity(look.primaryLabel, 0.07));
    // Hairline separators between unselected neighbours, as the desktop's pickers have.
    painter.setPen(QPen(withOpacity(look.primaryLabel, 0.12), 1.0));
    for (int i = 1; i < count(); ++i) {
        if (i == current_ || i - 1 == current_) continue;
        const double x = segments_[size_t(i)]->geometry().left() + 0.5;
        painter.drawLine(QPointF(x, 6), QPointF(x, height() - 6));
    }
    if (keyboardFocus_) {
        painter.setPen(QPen(withOpacity(look.blue, 0.6), 2.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), kContainerRadius - 1, kContainerRadius - 1);
    }
}

void SegmentedPicker::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutSegments();
}

int SegmentedPicker::nextEnabled(int step) const {
    for (int i = current_ + step; i >= 0 && i < count(); i += step)
        if (segments_[size_t(i)]->isEnabled()) return i;
    return -1;
}

void SegmentedPicker::keyPressEvent(QKeyEvent* event) {
    int step = 0;
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Up) step = -1;
    if (event->key() == Qt::Key_Right || event->key() == Qt::Key_Down) step = 1;
    if (layoutDirection() == Qt::RightToLeft && (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right))
        step = -step;
    if (step == 0) return QWidget::keyPressEvent(event);
    if (const int next = nextEnabled(step); next >= 0) setCurrentIndex(next);
    event->accept();
}

void SegmentedPicker::focusInEvent(QFocusEvent* event) {
    keyboardFocus_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason ||
                     event->reason() == Qt::ShortcutFocusReason;
    update();
    QWidget::focusInEvent(event);
}

void SegmentedPicker::focusOutEvent(QFocusEvent* event) {
    keyboardFocus_ = false;
    update();
    QWidget::focusOutEvent(event);
}

void SegmentedPicker::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        updateGeometry(); // the segments inherit the font
        layoutSegments();
    }
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

} // namespace vaun
