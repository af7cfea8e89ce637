#include "Toolkit/DisclosureSection.h"

#include "Toolkit/Appearance.h"
#include "Toolkit/Symbols.h"
#include "Toolkit/Typography.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <cmath>
#include <memory>

namespace vaun {
namespace {

constexpr double kChevronBox = 14;   // the chevron's column
constexpr double kChevronGap = 6;    // chevron to label
constexpr double kSymbolGap = 6;     // symbol to title
constexpr int kDefaultSpacing = 12;

} // namespace

DisclosureHeader::DisclosureHeader(const QString& title, const QString& symbol, QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol) {
    setText(title);
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setFont(systemFont(13, FontWeight::medium));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void DisclosureHeader::setSymbol(const QString& name) {
    if (name == symbol_) return;
    symbol_ = name;
    updateGeometry();
    update();
}

QSize DisclosureHeader::sizeHint() const {
    const QFontMetricsF metrics(font());
    const double symbolWidth = Symbols::exists(symbol_) ? Symbols::sizeForFont(font().pixelSize()).width() + kSymbolGap : 0;
    const double width = kChevronBox + kChevronGap + symbolWidth + metrics.horizontalAdvance(text()) + 4;
    return QSize(int(std::ceil(width)), int(std::ceil(std::max(metrics.height(), 18.0) + 4)));
}

void DisclosureHeader::paintEvent(QPaintEvent*) {
    const Appearance& look = Appearance::of(colorScheme(*this));
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(0.45);
    const double midY = height() / 2.0;

    // Chevron: pointing right when collapsed, down when expanded.
    painter.save();
    painter.translate(kChevronBox / 2, midY);
    if (isChecked()) painter.rotate(90);
    QPainterPath chevron;
    chevron.moveTo(-1.75, -3.5);
    chevron.lineTo(1.75, 0);
    chevron.lineTo(-1.75, 3.5);
    painter.setPen(QPen(isDown() ? look.primaryLabel : look.secondaryLabel, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(chevron);
    painter.restore();

    double x = kChevronBox + kChevronGap;
    if (Symbols::exists(symbol_)) {
        const QSizeF box = Symbols::sizeForFont(font().pixelSize());
        Symbols::draw(painter, QRectF(QPointF(x, midY - box.height() / 2), box), symbol_, look.primaryLabel);
        x += box.width() + kSymbolGap;
    }
    painter.setFont(font());
    painter.setPen(look.primaryLabel);
    painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter, text());

    if (keyboardFocus_) {
        painter.setPen(QPen(withOpacity(look.blue, 0.6), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 4, 4);
    }
}

void DisclosureHeader::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: click(); break;
    case Qt::Key_Right: if (!isChecked()) click(); break;
    case Qt::Key_Left: if (isChecked()) click(); break;
    default: return QAbstractButton::keyPressEvent(event); // Space clicks
    }
    event->accept();
}

void DisclosureHeader::focusInEvent(QFocusEvent* event) {
    keyboardFocus_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
    update();
}

void DisclosureHeader::focusOutEvent(QFocusEvent* event) {
    keyboardFocus_ = false;
    QAbstractButton::focusOutEvent(event);
    update();
}

DisclosureSection::DisclosureSection(const QString& title, const QString& symbol, QWidget* parent)
    : QWidget(parent),
      header_(std::make_unique<DisclosureHeader>(title, symbol, this).release()),
      layout_(std::make_unique<QVBoxLayout>(this).release()) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(kDefaultSpacing);
    layout_->addWidget(header_);
    connect(header_, &QAbstractButton::toggled, this, &DisclosureSection::setExpanded);
}

void DisclosureSection::setContent(QWidget* content) {
    if (content == content_) return;
    if (content_) {
        layout_->removeWidget(content_);
        content_->deleteLater();
        content_->hide();
    }
    content_ = content;
    if (!content_) return;
    layout_->addWidget(content_);
    content_->setVisible(expanded_);
}

void DisclosureSection::setContentSpacing(int points) { layout_->setSpacing(points); }

void DisclosureSection::setExpanded(bool expanded) {
    if (expanded == expanded_) return;
    expanded_ = expanded;
    header_->setChecked(expanded);
    if (content_) content_->setVisible(expanded);
    emit expandedChanged(expanded);
}

} // namespace vaun
