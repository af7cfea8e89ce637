#include "PreviewViews/MarkerOverlay.h"

#include "Toolkit/Appearance.h"
#include "Toolkit/DevicePixels.h"
#include "Toolkit/Typography.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace vaun {
namespace {

constexpr double kLabelPadding = 3;  // inside the label's plate, left and right
constexpr double kLabelGap = 2;      // between a label's plate and the next flag
constexpr double kSpanInset = 4;     // a span's label from its start
constexpr double kBracketTick = 4;   // a loop bracket's arms
constexpr int kMinimumCharacters = 3;
// Closer than this to a neighbour, a marker is a tick at the top: full-height lines that close
// together would hide the drawing.
constexpr double kCrowdedSpacing = 3;
constexpr double kTickHeight = 12;
bool isSpan(const Marker& marker) { return MarkerTimeline::isSpan(marker); }

QString text(const std::optional<std::string>& value) {
    return value ? QString::fromStdString(*value) : QString();
}

// The largest span end over each node's leaves: the spans reaching into a strip are found
// without walking those that ended before it.
class SpanTree {
public:
    void build(std::vector<double> ends) {
        leaves_ = 1;
        while (leaves_ < ends.size()) leaves_ *= 2;
        max_.assign(2 * leaves_, -INFINITY);
        std::copy(ends.begin(), ends.end(), max_.begin() + std::ptrdiff_t(leaves_));
        for (std::size_t node = leaves_ - 1; node > 0; --node) max_[node] = std::max(max_[2 * node], max_[2 * node + 1]);
    }
    // Visits, in order, the leaves before `count` whose end reaches `from`.
    template <typename Visit>
    void reaching(std::size_t count, double from, const Visit& visit) const {
        if (!max_.empty()) visitNode(1, 0, leaves_, count, from, visit);
    }

private:
    template <typename Visit>
    void visitNode(std::size_t node, std::size_t lo, std::size_t hi, std::size_t count, double from,
                   const Visit& visit) const {
        if (lo >= count || max_[node] < from) return;
        if (hi - lo == 1) return visit(lo);
        const std::size_t mid = (lo + hi) / 2;
        visitNode(2 * node, lo, mid, count, from, visit);
        visitNode(2 * node + 1, mid, hi, count, from, visit);
    }

    std::size_t leaves_ = 0;
    std::vector<double> max_;
};

} // namespace

class MarkerOverlay::Layout {
public:
    Layout(const MarkerTimeline& markers, const Placement& place, double width, const QFont& font)
        : markers_(markers), metrics_(font), labelHeight_(std::ceil(metrics_.height()) + 1), width_(width) {
        while (count_ < markers.size() && markers.startFraction(count_)) ++count_;
        x_.resize(count_);
        for (std::size_t k = 0; k < count_; ++k) x_[k] = place(*markers.startFraction(k), width);
        room_.resize(count_);
        reach_.resize(count_);
        crowded_.resize(count_);
        std::vector<double> ends;
        double reach = -INFINITY;
        for (std::size_t k = 0; k < count_; ++k) {
            const double next = k + 1 < count_ ? x_[k + 1] : width;
            crowded_[k] = next - x_[k] < kCrowdedSpacing || (k > 0 && x_[k] - x_[k - 1] < kCrowdedSpacing);
            room_[k] = std::min(std::min(next - kLabelGap, width) - labelLeft(k) - 2 * kLabelPadding,
                                kMaximumLabelWidth);
            const bool labelled = markers[k].label && !markers[k].label->empty() && room_[k] > 0;
            reach = std::max(reach, labelled ? labelLeft(k) + 2 * kLabelPadding + room_[k] : x_[k] + kFlagWidth + 1);
            reach_[k] = reach;
            if (isSpan(markers[k])) {
                regions_ = regions_ || markers[k].kind == Marker::Kind::region;
                spans_.push_back(k);
                spanStarts_.push_back(x_[k]);
                ends.push_back(place(markers.endFraction(k), width) + 1);
            }
        }
        spanEnds_ = ends;
        tree_.build(std::move(ends));
        labels_.resize(count_);
    }

    std::size_t count() const { return count_; }
    double x(std::size_t k) const { return x_[k]; }
    bool crowded(std::size_t k) const { return crowded_[k]; }
    double spanEnd(std::size_t span) const { return spanEnds_[span]; }
    std::size_t span(std::size_t j) const { return spans_[j]; }

    // The markers whose line, flag or label may reach into from…to.
    std::pair<std::size_t, std::size_t> between(double from, double to) const {
        const auto first = std::lower_bound(reach_.begin(), reach_.end(), from) - reach_.begin();
        const auto last = std::upper_bound(x_.begin(), x_.end(), to) - x_.begin();
        return {std::size_t(first), std::max(std::size_t(first), std::size_t(last))};
    }
    // Visits the spans whose body reaches into from…to, by their index among the spans.
    template <typename Visit>
    void spansBetween(double from, double to, const Visit& visit) const {
        const auto count = std::upper_bound(spanStarts_.begin(), spanStarts_.end(), to) - spanStarts_.begin();
        tree_.reaching(std::size_t(count), from, visit);
    }

    double labelLeft(std::size_t k) const {
        return x_[k] + (isSpan(markers_[k]) ? kSpanInset : kFlagWidth + 1);
    }
    double labelTop(std::size_t k) const { return markers_[k].kind == Marker::Kind::loop ? 2 : 0; }

    // Every region's shade composited into one row of device pixels. A tall translucent fill
    // costs per scan line, however narrow the strip: stretched over the height, this row costs
    // one blend per paint however many regions overlap. Null without regions.
    const QImage& shades(const QColor& shade, qreal ratio) const {
        if (!regions_ || (!shades_.isNull() && shadesColor_ == shade && shadesRatio_ == ratio)) return shades_;
        shades_ = QImage(std::max(1, int(std::ceil(width_ * ratio))), 1, QImage::Format_ARGB32_Premultiplied);
        shades_.fill(Qt::transparent);
        QPainter painter(&shades_);
        // Overlapping regions shade once: stacked, a crowded file would turn solid.
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        for (std::size_t j = 0; j < spans_.size(); ++j) {
            if (markers_[spans_[j]].kind != Marker::Kind::region) continue;
            const double start = snapToPixel(x_[spans_[j]], ratio);
            const double end = std::max(snapToPixel(spanEnds_[j] - 1, ratio), start);
            painter.fillRect(QRectF(start * ratio, 0, (end - start + 1) * ratio, 1), shade);
        }
        shadesColor_ = shade;
        shadesRatio_ = ratio;
        return shades_;
    }

    // The label cut to its room, or nothing when not even a few characters fit.
    const QString& label(std::size_t k) const {
        auto& shown = labels_[k];
        if (shown) return *shown;
        shown.emplace();
        const QString whole = text(markers_[k].label).simplified();
        if (whole.isEmpty() || room_[k] <= 0) return *shown;
        const QString cut = metrics_.elidedText(whole, Qt::ElideRight, room_[k]);
        const qsizetype kept = cut == whole ? cut.size() : cut.size() - 1;
        if (kept >= std::min<qsizetype>(kMinimumCharacters, whole.size())) *shown = cut;
        return *shown;
    }
    // The plate behind the label; empty when none is drawn.
    QRectF labelBox(std::size_t k) const {
        const QString& shown = label(k);
        if (shown.isEmpty()) return {};
        return {labelLeft(k), labelTop(k), metrics_.horizontalAdvance(shown) + 2 * kLabelPadding, labelHeight_};
    }

private:
    const MarkerTimeline& markers_;
    QFontMetricsF metrics_;
    double labelHeight_;
    double width_;
    bool regions_ = false;
    std::size_t count_ = 0;
    std::vector<double> x_;
    std::vector<double> room_;
    std::vector<bool> crowded_;
    std::vector<double> reach_; // the furthest right any marker up to this one draws
    std::vector<std::size_t> spans_;
    std::vector<double> spanStarts_;
    std::vector<double> spanEnds_;
    SpanTree tree_;
    mutable std::vector<std::optional<QString>> labels_;
    mutable QImage shades_;
    mutable QColor shadesColor_;
    mutable qreal shadesRatio_ = 0;
};

// --- the overlay -------------------------------------------------------------------------------

MarkerOverlay::MarkerOverlay(std::shared_ptr<const MarkerTimeline> markers, Placement placement,
                             std::function<void(double)> seek, QWidget* parent)
    : QWidget(parent), markers_(std::move(markers)), placement_(std::move(placement)), seek_(std::move(seek)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setFont(systemFont(9, FontWeight::semibold, FontDesign::rounded));
    setMouseTracking(true);
    setAccessibleName(tr("Markers"));
}

MarkerOverlay::~MarkerOverlay() = default;

void MarkerOverlay::place() {
    layout_ = markers_ && placement_ ? std::make_unique<Layout>(*markers_, placement_, width(), font()) : nullptr;
}

std::optional<double> MarkerOverlay::markerX(std::size_t i) const {
    if (!layout_ || i >= layout_->count()) return std::nullopt;
    return layout_->x(i);
}

std::optional<std::size_t> MarkerOverlay::markerAt(QPointF point) const {
    if (!layout_) return std::nullopt;
    const auto [first, last] = layout_->between(point.x() - kHitSlop, point.x() + kHitSlop);
    std::optional<std::size_t> nearest;
    double distance = kHitSlop;
    for (std::size_t k = first; k < last; ++k) {
        const double d = std::abs(layout_->x(k) - point.x());
        if (d <= distance) nearest = k, distance = d;
    }
    if (nearest) return nearest;
    // Later labels are drawn over earlier ones.
    for (std::size_t k = last; k-- > first;) {
        const bool flag = !isSpan((*markers_)[k]) && QRectF(layout_->x(k), 0, kFlagWidth, kFlagHeight).contains(point);
        if (flag || layout_->labelBox(k).contains(point)) return k;
    }
    return std::nullopt;
}

bool MarkerOverlay::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    if (const auto k = markerAt(help->pos())) {
        const QRectF line(layout_->x(*k) - kHitSlop, 0, 2 * kHitSlop + 1, height());
        const QRect area = line.united(layout_->labelBox(*k)).toAlignedRect();
        QToolTip::showText(help->globalPos(), markers_->toolTip(*k), this, area);
    } else if (underlay_) {
        QHelpEvent forwarded(QEvent::ToolTip, underlay_->mapFromGlobal(help->globalPos()), help->globalPos());
        QCoreApplication::sendEvent(underlay_, &forwarded);
    } else {
        QToolTip::hideText();
    }
    return true;
}

void MarkerOverlay::mousePressEvent(QMouseEvent* event) {
    const auto k = event->button() == Qt::LeftButton ? markerAt(event->position()) : std::nullopt;
    if (!k || !seek_) return QWidget::mousePressEvent(event);
    seek_(markers_->startFraction(*k).value_or(0));
    event->accept();
}

void MarkerOverlay::mouseMoveEvent(QMouseEvent* event) {
    if (markerAt(event->position())) setCursor(Qt::PointingHandCursor);
    else unsetCursor();
    QWidget::mouseMoveEvent(event);
}

void MarkerOverlay::resizeEvent(QResizeEvent* event) {
    place();
    QWidget::resizeEvent(event);
}

void MarkerOverlay::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) place();
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) update();
    QWidget::changeEvent(event);
}

void MarkerOverlay::paintEvent(QPaintEvent* event) {
    if (!layout_ || layout_->count() == 0) return;
    const Layout& layout = *layout_;
    const MarkerTimeline& markers = *markers_;
    const ColorScheme scheme = colorScheme(*this);
    const Appearance& look = Appearance::of(scheme);
    const QColor shade = withOpacity(look.orange, scheme == ColorScheme::dark ? 0.22 : 0.18);
    const double from = event->rect().left(), to = event->rect().right() + 1;
    const double h = height();
    QPainter painter(this);
    const qreal ratio = paintedPixelRatio(painter);
    auto snap = [ratio](double x) { return snapToPixel(x, ratio); };

    // Shades and loop brackets first, so lines and labels stay on top of them.
    if (const QImage& shades = layout.shades(shade, ratio); !shades.isNull())
        painter.drawImage(QRectF(from, 0, to - from, h), shades, QRectF(from * ratio, 0, (to - from) * ratio, 1));
    layout.spansBetween(from - 1, to, [&](std::size_t j) {
        const std::size_t k = layout.span(j);
        if (markers[k].kind != Marker::Kind::loop) return;
        const double start = snap(layout.x(k));
        const double end = std::max(snap(layout.spanEnd(j) - 1), start);
        const bool crowded = layout.crowded(k);
        painter.fillRect(QRectF(start, 0, end - start + 1, 1), look.green);
        for (const double x : {start, end}) painter.fillRect(QRectF(x, 0, 1, crowded ? kTickHeight : h), look.green);
        if (crowded) return;
        painter.fillRect(QRectF(start, h - 1, kBracketTick, 1), look.green);
        painter.fillRect(QRectF(end - kBracketTick + 1, h - 1, kBracketTick, 1), look.green);
    });

    const auto [first, last] = layout.between(from - 1, to);
    painter.setRenderHint(QPainter::Antialiasing);
    // Markers on one pixel column would only draw the same pixels again (and darken the
    // antialiased flag edges): one of each kind is drawn.
    std::optional<std::tuple<double, Marker::Kind, bool>> drawn;
    for (std::size_t k = first; k < last; ++k) {
        if (isSpan(markers[k])) continue;
        const double x = snap(layout.x(k));
        const auto shape = std::tuple(x, markers[k].kind, layout.crowded(k));
        if (x + kFlagWidth < from - 1 || drawn == shape) continue;
        drawn = shape;
        if (layout.crowded(k)) {
            painter.fillRect(QRectF(x, 0, 1, kTickHeight), look.orange);
            continue;
        }
        painter.fillRect(QRectF(x, 0, 1, h), look.orange);
        QPainterPath flag;
        if (markers[k].kind == Marker::Kind::chapter) {
            flag.addRect(QRectF(x, 0, kFlagWidth, kFlagHeight));
        } else {
            flag.moveTo(x, 0);
            flag.lineTo(x + kFlagWidth, kFlagHeight / 2);
            flag.lineTo(x, kFlagHeight);
            flag.closeSubpath();
        }
        painter.fillPath(flag, look.orange);
    }

    painter.setFont(font());
    const QColor plate = withOpacity(look.windowBackground, 0.8);
    for (std::size_t k = first; k < last; ++k) {
        const QRectF box = layout.labelBox(k);
        if (box.isEmpty() || box.right() < from - 1) continue;
        QPainterPath rounded;
        rounded.addRoundedRect(box, 3, 3);
        painter.fillPath(rounded, plate);
        painter.setPen(look.primaryLabel);
        painter.drawText(box.adjusted(kLabelPadding, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, layout.label(k));
    }
}

} // namespace vaun
