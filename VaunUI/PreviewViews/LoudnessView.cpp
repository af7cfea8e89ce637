#include "PreviewViews/LoudnessView.h"

#include "PreviewViews/PreviewFormat.h"
#include "Toolkit/Typography.h"

#include <QEvent>
#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace vaun {
namespace {

constexpr double kFloor = -60;

bool present(float value) { return std::isfinite(value); }

// The loudest and quietest values a curve holds.
void extend(const std::vector<float>& values, double& lo, double& hi) {
    for (float v : values)
        if (present(v)) {
            lo = std::min(lo, double(v));
            hi = std::max(hi, double(v));
        }
}

double timeOf(std::size_t index) { return double(index + 1) * LoudnessHistory::interval; }

// A curve as a path over `plot`: point by point where there is room, else each point column's
// loudest and quietest value, so that a ten-hour file draws as fast as a minute. Absent values
// break the line.
QPainterPath curvePath(const std::vector<float>& values, double duration, QRectF plot, const LoudnessScale& scale) {
    QPainterPath path;
    if (values.empty() || duration <= 0 || plot.width() <= 0) return path;
    const auto x = [&](double t) { return plot.left() + plot.width() * std::min(t / duration, 1.0); };
    const auto y = [&](double v) { return plot.top() + scale.y(v, plot.height()); };
    bool open = false;
    const auto add = [&](QPointF p) {
        if (open) path.lineTo(p);
        else path.moveTo(p);
        open = true;
    };
    const double columns = std::max(1.0, std::floor(plot.width()));
    if (double(values.size()) <= 2 * columns) {
        for (std::size_t k = 0; k < values.size(); ++k) {
            if (!present(values[k])) open = false;
            else add({x(timeOf(k)), y(values[k])});
        }
        return path;
    }
    const double perColumn = duration / columns / LoudnessHistory::interval;
    std::size_t k = 0;
    for (double c = 0; c < columns; ++c) {
        const auto end = std::min(values.size(), std::size_t(std::max(0.0, std::ceil((c + 1) * perColumn - 1))));
        double lo = INFINITY, hi = -INFINITY;
        for (; k < end; ++k)
            if (present(values[k])) {
                lo = std::min(lo, double(values[k]));
                hi = std::max(hi, double(values[k]));
            }
        if (!(hi >= lo)) {
            open = false;
            continue;
        }
        const double px = plot.left() + c + 0.5;
        add({px, y(hi)});
        if (lo < hi) add({px, y(lo)});
    }
    return path;
}

QString lufsText(float value) {
    return present(value) ? format::signedTenths(value) + QStringLiteral(" LUFS") : QStringLiteral("—");
}

} // namespace

double LoudnessScale::y(double lufs, double height) const {
    return height * (top - lufs) / (top - bottom);
}

std::vector<double> LoudnessScale::ticks() const {
    std::vector<double> out;
    for (double v = std::ceil(bottom / step) * step; v <= top + 1e-9; v += step) out.push_back(v);
    return out;
}

LoudnessScale loudnessScale(const LoudnessHistory& history, std::optional<double> integratedLUFS) {
    double lo = INFINITY, hi = -INFINITY;
    extend(history.shortTerm, lo, hi);
    // The momentary curve dips far lower than the short-term one; only its peaks set the top.
    double momentaryLo = INFINITY;
    extend(history.momentary, momentaryLo, hi);
    if (!(lo <= hi)) lo = momentaryLo;
    if (integratedLUFS) {
        lo = std::min(lo, *integratedLUFS);
        hi = std::max(hi, *integratedLUFS);
    }
    LoudnessScale scale;
    if (!(lo <= hi)) return scale;
    scale.top = hi > 0 ? std::ceil((hi + 2) / 5) * 5 : std::min(0.0, std::ceil((hi + 2) / 5) * 5);
    scale.bottom = std::max(kFloor, std::floor((lo - 3) / 5) * 5);
    if (scale.top - scale.bottom < 20) {
        scale.bottom = std::max(kFloor, scale.top - 20);
        scale.top = std::max(scale.top, scale.bottom + 20);
    }
    scale.step = scale.top - scale.bottom > 30 ? 10 : 5;
    return scale;
}

std::optional<LoudnessRangeBounds> loudnessRangeBounds(const LoudnessHistory& history) {
    std::vector<double> powers;
    powers.reserve(history.shortTerm.size());
    for (float v : history.shortTerm)
        if (present(v)) powers.push_back(std::pow(10.0, (double(v) + 0.691) / 10.0));
    return loudnessRangeBounds(std::span<const double>(powers));
}

LoudnessView::LoudnessView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setMouseTracking(true);
}

void LoudnessView::setLoudness(const LoudnessHistory& history, std::optional<double> integratedLUFS,
                               std::optional<double> durationSeconds) {
    const double duration =
        durationSeconds && *durationSeconds > 0
            ? *durationSeconds
            : double(std::max(history.momentary.size(), history.shortTerm.size())) * LoudnessHistory::interval;
    if (history == history_ && integratedLUFS == integrated_ && duration == duration_) return;
    history_ = history;
    integrated_ = integratedLUFS;
    duration_ = duration;
    bounds_ = loudnessRangeBounds(history_);
    scale_ = loudnessScale(history_, integrated_);
    curves_.reset();
    canvas_.invalidate();
    update();
}

double LoudnessView::playheadX(double fraction) const {
    return LoudnessLayout::labelColumn + playheadOffset(plotWidth(), fraction);
}

void LoudnessView::setFraction(double fraction) {
    if (!std::isfinite(fraction)) fraction = 0;
    if (fraction == fraction_) return;
    const qreal ratio = devicePixelRatioF();
    const double before = snapToPixel(playheadX(fraction_), ratio);
    fraction_ = fraction;
    const double after = snapToPixel(playheadX(fraction_), ratio);
    if (before != after) update(vaun::playheadStrip(before, after, height()));
}

QString LoudnessView::hoverText(double x) const {
    const double w = plotWidth();
    if (w <= 0 || duration_ <= 0) return {};
    const double t = std::clamp((x - LoudnessLayout::labelColumn) / w, 0.0, 1.0) * duration_;
    // The value whose window ends nearest the pointer.
    const double nearest = std::round(t / LoudnessHistory::interval) - 1;
    const auto at = [nearest](const std::vector<float>& values) {
        if (nearest < 0 || values.empty()) return LoudnessHistory::absent;
        return values[std::min(values.size() - 1, std::size_t(nearest))];
    };
    QString time = format::clock(t, std::llround(t * 10) >= 36000, true);
    if (timecode_) time += QStringLiteral(" · ") + QString::fromStdString(timecode_->text(t));
    return time + u'\n' + tr("Momentary %1").arg(lufsText(at(history_.momentary))) + u'\n' +
           tr("Short-term %1").arg(lufsText(at(history_.shortTerm)));
}

std::optional<QString> LoudnessView::emptyNote() const {
    const auto any = [](const std::vector<float>& values) { return std::any_of(values.begin(), values.end(), present); };
    if (any(history_.momentary) || any(history_.shortTerm)) return std::nullopt;
    // A momentary value needs four 100 ms steps.
    if (history_.momentary.size() < 4) return tr("Too short to measure loudness over time.");
    return tr("Below \u221270 LUFS throughout.");
}

QSize LoudnessView::sizeHint() const { return {int(LoudnessLayout::labelColumn) + 480, 132}; }

QSize LoudnessView::minimumSizeHint() const { return {int(LoudnessLayout::labelColumn) + 32, 32}; }

bool LoudnessView::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString text = help->pos().x() >= LoudnessLayout::labelColumn ? hoverText(help->pos().x()) : QString();
    if (text.isEmpty()) QToolTip::hideText();
    else QToolTip::showText(help->globalPos(), text, this);
    return true;
}

void LoudnessView::draw(QPainter& painter, QSizeF size, ColorScheme scheme, bool played) {
    const Appearance& colors = Appearance::of(scheme);
    const QRectF plot(LoudnessLayout::labelColumn, 0, size.width() - LoudnessLayout::labelColumn, size.height());
    if (plot.width() <= 0 || plot.height() <= 0) return;
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath frame;
    frame.addRoundedRect(plot, LoudnessLayout::cornerRadius, LoudnessLayout::cornerRadius);
    painter.fillPath(frame, withOpacity(colors.primaryLabel, 0.04));

    painter.setFont(systemFont(9, FontWeight::medium, FontDesign::rounded));
    for (double v : scale_.ticks()) {
        const double y = scale_.y(v, plot.height());
        painter.fillRect(QRectF(plot.left(), y, plot.width(), 0.5), withOpacity(colors.primaryLabel, 0.08));
        painter.setPen(colors.secondaryLabel);
        const QRectF box(LoudnessLayout::labelCentreX - 20, std::clamp(y, 6.0, plot.height() - 6) - 10, 40, 20);
        painter.drawText(box, Qt::AlignCenter | Qt::TextDontClip, format::signedTenths(v).chopped(2));
    }

    painter.save();
    painter.setClipPath(frame);
    const QColor blue = colors.blue;
    if (bounds_) {
        const double top = scale_.y(bounds_->high, plot.height());
        const double bottom = scale_.y(bounds_->low, plot.height());
        painter.fillRect(QRectF(plot.left(), top, plot.width(), std::max(bottom - top, 1.0)),
                         withOpacity(blue, played ? 0.16 : 0.10));
    }
    const double lineOpacity = played ? 0.95 : scheme == ColorScheme::dark ? 0.65 : 0.42;
    painter.setBrush(Qt::NoBrush);
    if (!curves_ || curves_->size != size)
        curves_ = Curves{size, curvePath(history_.momentary, duration_, plot, scale_),
                         curvePath(history_.shortTerm, duration_, plot, scale_)};
    painter.setPen(QPen(withOpacity(blue, lineOpacity * 0.45), 1));
    painter.drawPath(curves_->momentary);
    painter.setPen(QPen(withOpacity(blue, lineOpacity), 1.5));
    painter.drawPath(curves_->shortTerm);

    // Overs as marks along the top: adjacent steps join into one.
    if (duration_ > 0) {
        const double step = plot.width() * LoudnessHistory::interval / duration_;
        std::optional<QRectF> mark;
        for (double over : history_.truePeakOvers) {
            const double x = plot.left() + plot.width() * std::clamp(over / duration_, 0.0, 1.0);
            if (mark && x <= mark->right() + 0.5) {
                mark->setRight(std::max(mark->right(), x + std::max(step, 1.0)));
                continue;
            }
            if (mark) painter.fillRect(*mark, colors.red);
            mark = QRectF(x, 0, std::max(step, 1.0), LoudnessLayout::overMarkHeight);
        }
        if (mark) painter.fillRect(*mark, colors.red);
    }
    painter.restore();

    if (const auto note = emptyNote()) {
        painter.setPen(colors.secondaryLabel);
        painter.setFont(systemFont(TextStyle::caption));
        painter.drawText(plot, Qt::AlignCenter, *note);
    }
    if (integrated_) {
        const double y = scale_.y(*integrated_, plot.height());
        painter.setPen(QPen(colors.orange, 1, Qt::DashLine));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(colors.orange);
        painter.setFont(systemFont(9, FontWeight::semibold, FontDesign::rounded));
        const bool below = y < 14;
        const QRectF box(plot.left(), below ? y + 1 : y - 14, plot.width() - 6, 13);
        painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, format::signedTenths(*integrated_) + QStringLiteral(" LUFS"));
    }
}

void LoudnessView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const double x = playheadX(fraction_);
    canvas_.paint(painter, event->rect(), size(), colorScheme(*this), x, x,
                  [this](QPainter& target, QSizeF size, ColorScheme scheme, bool played) {
                      draw(target, size, scheme, played);
                  });
}

void LoudnessView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) {
        canvas_.invalidate();
        update();
    }
    QWidget::changeEvent(event);
}

} // namespace vaun
