#include "PreviewViews/InfoCells.h"

#include "PreviewViews/PreviewText.h"
#include "Toolkit/Accessibility.h"
#include "Toolkit/Appearance.h"
#include "Toolkit/Symbols.h"
#include "Toolkit/Typography.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <memory>

namespace vaun {
namespace {

constexpr double kStripRadius = 14;
const QString kWarningSymbol = QStringLiteral("exclamationmark.triangle.fill");

QFont valueFont() { return systemFont(InfoCell::kValuePoints, FontWeight::semibold, FontDesign::monospacedDigits); }
QFont titleFont() { return systemFont(InfoCell::kTitlePoints); }

// A wrapping label whose preferred size is its text on as few lines as fit 80 characters;
// QLabel's own guess for selectable wrapping text is often a narrow, tall column.
class ValueText : public QLabel {
public:
    using QLabel::QLabel;

    QSize sizeHint() const override {
        const QFontMetrics metrics(font());
        const int widest = metrics.averageCharWidth() * 80;
        const int natural = metrics.boundingRect(QRect(0, 0, widest, 1 << 20), Qt::TextWordWrap, text()).width();
        const int width = std::clamp(natural + 1, 1, widest);
        return QSize(width, heightForWidth(width));
    }
};

} // namespace

// --- InfoCell ----------------------------------------------------------------------------------

InfoCell::InfoCell(const QString& title, const QString& value, QWidget* parent)
    : QWidget(parent), title_(title), value_(value) {
    // Every cell gets the same share of the strip, whatever its text.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setAccessibleName(tr("%1, %2", "value, title of a fact").arg(value, title));
}

void InfoCell::setLevel(bool warn, bool clip) {
    warn_ = warn;
    clip_ = clip;
    setToolTip(clip ? tr("Reaches full scale")
               : warn ? tr("Above \u22121 dBTP: most delivery specs ask for \u22121 dBTP or lower")
                      : QString());
    updateGeometry();
    update();
}

QColor InfoCell::valueColor() const {
    const Appearance& look = Appearance::of(colorScheme(*this));
    return clip_ ? look.red : warn_ ? look.orange : look.primaryLabel;
}

double InfoCell::symbolAdvance() const {
    return showsSymbol() ? Symbols::sizeForFont(kSymbolPoints).width() + kSymbolGap : 0;
}

double InfoCell::lineWidth(const QString& text) const {
    return symbolAdvance() + QFontMetricsF(valueFont()).horizontalAdvance(text);
}

double InfoCell::valueScale() const {
    const double available = width() - 2.0 * kPadding;
    const double line = lineWidth(value_);
    if (line <= available) return 1;
    return std::max(kMinimumScale, available / line);
}

QString InfoCell::shownValue() const {
    const double available = width() - 2.0 * kPadding;
    const double scale = valueScale();
    if (lineWidth(value_) * scale <= available) return value_;
    const double room = std::max(0.0, available / scale - symbolAdvance());
    return QFontMetricsF(valueFont()).elidedText(value_, Qt::ElideRight, room);
}

QSize InfoCell::sizeHint() const {
    const QFontMetricsF value(valueFont()), title(titleFont());
    const double width = std::max(lineWidth(value_), title.horizontalAdvance(title_)) + 2 * kPadding;
    return QSize(int(std::ceil(width)), int(std::ceil(value.height() + kSpacing + title.height())));
}

QSize InfoCell::minimumSizeHint() const { return QSize(2 * kPadding, sizeHint().height()); }

void InfoCell::paintEvent(QPaintEvent*) {
    const Appearance& look = Appearance::of(colorScheme(*this));
    const QFont vFont = valueFont(), tFont = titleFont();
    const QFontMetricsF vMetrics(vFont), tMetrics(tFont);
    const double lineHeight = vMetrics.height();
    const double top = std::floor((height() - (lineHeight + kSpacing + tMetrics.height())) / 2);
    const double available = width() - 2.0 * kPadding;

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // Value line, scaled about its centre so a shrunk value stays centred.
    const QString text = shownValue();
    const double scale = valueScale();
    const double textWidth = vMetrics.horizontalAdvance(text);
    const double line = symbolAdvance() + textWidth;
    const QColor ink = valueColor();
    painter.save();
    painter.translate(width() / 2.0, top + lineHeight / 2);
    painter.scale(scale, scale);
    double x = -line / 2;
    if (showsSymbol()) {
        const QSizeF box = Symbols::sizeForFont(kSymbolPoints);
        Symbols::draw(painter, QRectF(QPointF(x, -box.height() / 2), box), kWarningSymbol, ink);
        x += box.width() + kSymbolGap;
    }
    painter.setFont(vFont);
    painter.setPen(ink);
    painter.drawText(QRectF(x, -lineHeight / 2, textWidth + 1, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, text);
    painter.restore();

    painter.setFont(tFont);
    painter.setPen(look.secondaryLabel);
    painter.drawText(QRectF(kPadding, top + lineHeight + kSpacing, available, tMetrics.height()),
                     Qt::AlignHCenter | Qt::AlignTop, tMetrics.elidedText(title_, Qt::ElideRight, available));
}

InfoCell* fact(const QString& title, const QString& value, QWidget* parent) {
    return std::make_unique<InfoCell>(title, value, parent).release();
}

InfoCell* level(const QString& title, const QString& value, bool warn, bool clip, QWidget* parent) {
    auto cell = std::make_unique<InfoCell>(title, value, parent);
    cell->setLevel(warn, clip);
    return cell.release();
}

// --- strips ------------------------------------------------------------------------------------

StripDivider::StripDivider(QWidget* parent) : QWidget(parent) {
    setFixedSize(1, kHeight);
    accessibility::hide(*this);
}

void StripDivider::paintEvent(QPaintEvent*) {
    const Appearance& look = Appearance::of(colorScheme(*this));
    QPainter painter(this);
    painter.fillRect(rect(), withOpacity(look.primaryLabel, colorScheme(*this) == ColorScheme::dark ? 0.18 : 0.12));
}

void paintStripBackground(QWidget& widget) {
    const Appearance& look = Appearance::of(colorScheme(widget));
    QPainter painter(&widget);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(widget.rect()), kStripRadius, kStripRadius);
    painter.fillPath(shape, look.controlBackground);
}

// --- rows --------------------------------------------------------------------------------------

DetailRow::DetailRow(const QString& label, const std::optional<QString>& value, QWidget* parent)
    : QWidget(parent),
      label_(std::make_unique<PreviewText>(label, systemFont(kPoints), Tone::secondary, this).release()),
      value_(std::make_unique<ValueText>(this).release()) {
    label_->setFixedWidth(kLabelWidth);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    value_->setTextFormat(Qt::PlainText);
    value_->setFont(systemFont(kPoints));
    value_->setWordWrap(true);
    value_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    value_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long unbroken value must not widen the column (a wrapping label's minimum is its longest
    // word); it wraps where it can and is cut otherwise.
    value_->setMinimumWidth(1);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    value_->setSizePolicy(policy);

    auto layout = std::make_unique<QHBoxLayout>(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kSpacing);
    layout->addWidget(label_, 0, Qt::AlignTop);
    layout->addWidget(value_, 1);
    layout.release();
    setValue(value);
}

QString DetailRow::label() const { return label_->fullText(); }
QString DetailRow::value() const { return value_->text(); }

void DetailRow::setValue(const std::optional<QString>& value) {
    const QString text = value.value_or(QString());
    value_->setText(text);
    value_->setAccessibleName(label_->text());
    if (text.isEmpty()) hide();
    // Showing a row without a parent would open it as a window.
    else if (parentWidget()) show();
}

DetailRow* row(const QString& label, const std::optional<QString>& value, QWidget* parent) {
    return std::make_unique<DetailRow>(label, value, parent).release();
}

} // namespace vaun
