#include "PreviewViews/MarkersSection.h"

#include "Toolkit/Appearance.h"
#include "Toolkit/Typography.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace vaun {
namespace {

constexpr double kNoteGap = 10;
const QString kPlaysGap = QStringLiteral("  ");

QString text(const std::optional<std::string>& value) {
    return value ? QString::fromStdString(*value).simplified() : QString();
}

} // namespace

MarkerList::MarkerList(std::shared_ptr<const MarkerTimeline> markers, std::function<void(double)> seek, QWidget* parent)
    : QWidget(parent), markers_(std::move(markers)), seek_(std::move(seek)), font_(systemFont(kPoints)),
      digits_(systemFont(kPoints, FontWeight::regular, FontDesign::monospacedDigits)) {
    const QFontMetricsF metrics(font_), digits(digits_);
    rowHeight_ = int(std::ceil(std::max(metrics.height(), digits.height()))) + 8;

    // Column widths from the widest values, not from every row: markers are in time order,
    // so the last start is the longest time.
    const MarkerTimeline& all = *markers_;
    std::int64_t longest = 0;
    std::size_t longestAt = 0, mostPlaysAt = 0;
    std::uint32_t mostPlays = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].length && *all[i].length > longest) longest = *all[i].length, longestAt = i;
        if (all[i].playCount && *all[i].playCount > mostPlays) mostPlays = *all[i].playCount, mostPlaysAt = i;
    }
    const double timeWidth = all.size() ? digits.horizontalAdvance(all.timeText(all.size() - 1)) : 0;
    const double timecodeWidth = all.hasTimecode() && all.size() ? digits.horizontalAdvance(all.timecodeText(0)) : 0;
    double kindWidth = 0;
    for (Marker::Kind kind : {Marker::Kind::marker, Marker::Kind::region, Marker::Kind::loop, Marker::Kind::chapter})
        kindWidth = std::max(kindWidth, metrics.horizontalAdvance(MarkerTimeline::kindName(kind)));
    QString widestTrailing = longest > 0 ? all.lengthText(longestAt) : QString();
    if (mostPlays > 0) widestTrailing += kPlaysGap + all.playsText(mostPlaysAt);
    lengthWidth_ = digits.horizontalAdvance(widestTrailing);
    timecodeLeft_ = timeWidth + kColumnGap;
    kindLeft_ = timecodeLeft_ + (timecodeWidth > 0 ? timecodeWidth + kColumnGap : 0);
    labelLeft_ = kindLeft_ + kindWidth + kColumnGap;

    setFixedHeight(int(std::min<std::size_t>(all.size() * std::size_t(rowHeight_), QWIDGETSIZE_MAX)));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(true);
    setAccessibleName(tr("Markers"));
    setAccessibleDescription(tr("%1 markers").arg(all.size()));
}

QStringList MarkerList::rowTexts(std::size_t i) const {
    const MarkerTimeline& all = *markers_;
    QStringList row{all.timeText(i)};
    if (all.hasTimecode()) row << all.timecodeText(i);
    row << MarkerTimeline::kindName(all[i].kind) << text(all[i].label) << text(all[i].note) << all.lengthText(i)
        << all.playsText(i);
    return row;
}

std::optional<std::size_t> MarkerList::rowAt(double y) const {
    if (y < 0 || rowHeight_ <= 0) return std::nullopt;
    const auto row = std::size_t(y / rowHeight_);
    if (row >= rowCount()) return std::nullopt;
    return row;
}

QSize MarkerList::sizeHint() const { return {int(std::ceil(labelLeft_ + lengthWidth_)) + 160, height()}; }

QSize MarkerList::minimumSizeHint() const { return {int(std::ceil(labelLeft_)) + 40, height()}; }

bool MarkerList::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    if (const auto row = rowAt(help->pos().y()))
        QToolTip::showText(help->globalPos(), markers_->toolTip(*row), this, rowRect(*row));
    else
        QToolTip::hideText();
    return true;
}

void MarkerList::hover(std::optional<std::size_t> row) {
    if (row == hovered_) return;
    if (hovered_) update(rowRect(*hovered_));
    hovered_ = row;
    if (hovered_) update(rowRect(*hovered_));
    if (row && markers_->startFraction(*row)) setCursor(Qt::PointingHandCursor);
    else unsetCursor();
}

void MarkerList::mouseMoveEvent(QMouseEvent* event) {
    hover(rowAt(event->position().y()));
    QWidget::mouseMoveEvent(event);
}

void MarkerList::leaveEvent(QEvent* event) {
    hover(std::nullopt);
    QWidget::leaveEvent(event);
}

void MarkerList::mousePressEvent(QMouseEvent* event) {
    const auto row = event->button() == Qt::LeftButton ? rowAt(event->position().y()) : std::nullopt;
    const auto fraction = row ? markers_->startFraction(*row) : std::nullopt;
    if (!fraction || !seek_) return QWidget::mousePressEvent(event);
    seek_(*fraction);
    event->accept();
}

void MarkerList::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

void MarkerList::paintEvent(QPaintEvent* event) {
    if (rowHeight_ <= 0 || rowCount() == 0) return;
    const Appearance& look = Appearance::of(colorScheme(*this));
    QPainter painter(this);
    const QFontMetricsF metrics(font_);
    const std::size_t first = std::size_t(std::max(0, event->rect().top()) / rowHeight_);
    const std::size_t last = std::min(rowCount(), std::size_t(event->rect().bottom() / rowHeight_) + 1);
    const double w = width();
    for (std::size_t i = first; i < last; ++i) {
        const QRectF row(rowRect(i));
        const QStringList cells = rowTexts(i);
        const bool placed = markers_->startFraction(i).has_value();
        // The row under the pointer reads as the link it is.
        const QColor primary = !placed ? look.secondaryLabel : hovered_ == i ? look.blue : look.primaryLabel;
        auto draw = [&](double left, double right, const QString& value, const QFont& font, const QColor& color) {
            if (value.isEmpty() || right <= left) return 0.0;
            painter.setFont(font);
            painter.setPen(color);
            const QString shown = QFontMetricsF(font).elidedText(value, Qt::ElideRight, right - left);
            painter.drawText(QRectF(left, row.top(), right - left, row.height()), Qt::AlignLeft | Qt::AlignVCenter, shown);
            return QFontMetricsF(font).horizontalAdvance(shown);
        };
        qsizetype c = 0;
        draw(0, timecodeLeft_, cells[c++], digits_, primary);
        if (markers_->hasTimecode()) draw(timecodeLeft_, kindLeft_, cells[c++], digits_, look.secondaryLabel);
        draw(kindLeft_, labelLeft_, cells[c++], font_, look.secondaryLabel);
        const QString& label = cells[c++];
        const QString& note = cells[c++];
        QString trailing = cells[c++];
        if (const QString& plays = cells[c++]; !plays.isEmpty()) trailing += kPlaysGap + plays;
        const double textRight = w - (lengthWidth_ > 0 ? lengthWidth_ + kColumnGap : 0);
        draw(textRight + (lengthWidth_ > 0 ? kColumnGap : 0), w, trailing, digits_, look.secondaryLabel);
        const double labelWidth = draw(labelLeft_, textRight, label, font_, primary);
        const double noteLeft = labelLeft_ + labelWidth + (labelWidth > 0 ? kNoteGap : 0);
        // A note is worth showing only with a few characters of it.
        if (textRight - noteLeft > metrics.averageCharWidth() * 4)
            draw(noteLeft, textRight, note, font_, look.secondaryLabel);
    }
}

// --- section -----------------------------------------------------------------------------------

MarkersSection::MarkersSection(std::shared_ptr<const MarkerTimeline> markers, std::function<void(double)> seek,
                               QWidget* parent)
    : DisclosureSection(tr("Markers"), QStringLiteral("bookmark"), parent),
      list_(std::make_unique<MarkerList>(std::move(markers), std::move(seek)).release()) {
    setContentSpacing(12);
    setContent(list_); // owned by the section from here on
}

} // namespace vaun
