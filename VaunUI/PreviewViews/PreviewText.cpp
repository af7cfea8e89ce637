#include "PreviewViews/PreviewText.h"

#include "Toolkit/Appearance.h"
#include "Toolkit/Symbols.h"
#include "Toolkit/Typography.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <memory>

namespace vaun {
namespace {

struct Line {
    qsizetype start;
    QString text;
};

QString trimmedRight(QString text) {
    while (!text.isEmpty() && text.back().isSpace()) text.chop(1);
    return text;
}

} // namespace

QColor toneColor(Tone tone, const QWidget& widget) {
    const Appearance& look = Appearance::of(colorScheme(widget));
    switch (tone) {
    case Tone::primary: return look.primaryLabel;
    case Tone::secondary: return look.secondaryLabel;
    case Tone::blue: return look.blue;
    case Tone::orange: return look.orange;
    case Tone::red: return look.red;
    }
    return look.primaryLabel;
}

PreviewText::PreviewText(const QString& text, const QFont& font, Tone tone, QWidget* parent)
    : QLabel(parent), fullText_(text), tone_(tone) {
    setTextFormat(Qt::PlainText);
    setFont(font);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    applyTone();
    relayout();
}

void PreviewText::setFullText(const QString& text) {
    if (text == fullText_) return;
    fullText_ = text;
    updateGeometry();
    relayout();
}

void PreviewText::setTone(Tone tone) {
    if (tone == tone_) return;
    tone_ = tone;
    applyTone();
}

void PreviewText::setMaximumLines(int lines) {
    if (lines == maximumLines_) return;
    maximumLines_ = std::max(0, lines);
    updateGeometry();
    relayout();
}

void PreviewText::setSelectable(bool selectable) {
    setTextInteractionFlags(selectable ? Qt::TextSelectableByMouse : Qt::NoTextInteraction);
}

QStringList PreviewText::linesFor(double width) const {
    width = std::max(1.0, std::floor(width));
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    std::vector<Line> lines;
    qsizetype offset = 0;
    for (const QString& paragraph : fullText_.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, font());
        layout.setTextOption(option);
        layout.beginLayout();
        bool any = false;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines.push_back({offset + line.textStart(), trimmedRight(paragraph.mid(line.textStart(), line.textLength()))});
            any = true;
        }
        layout.endLayout();
        if (!any) lines.push_back({offset, QString()});
        offset += paragraph.size() + 1;
    }
    QStringList result;
    const std::size_t limit = maximumLines_ > 0 ? std::size_t(maximumLines_) : lines.size();
    for (std::size_t i = 0; i < std::min(limit, lines.size()); ++i) result << lines[i].text;
    if (lines.size() > limit) {
        // Whatever is left runs on in the last line, cut with an ellipsis.
        QString rest = fullText_.mid(lines[limit - 1].start);
        rest.replace(QLatin1Char('\n'), QLatin1Char(' '));
        result.back() = QFontMetricsF(font()).elidedText(rest, Qt::ElideRight, width);
    }
    return result;
}

double PreviewText::naturalWidth() const {
    const QFontMetricsF metrics(font());
    double widest = 0;
    for (const QString& paragraph : fullText_.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(paragraph));
    return std::ceil(widest) + 1;
}

int PreviewText::textHeight(int lines) const {
    return int(std::ceil(std::max(1, lines) * QFontMetricsF(font()).lineSpacing()));
}

int PreviewText::heightForWidth(int width) const {
    const QMargins m = contentsMargins();
    return textHeight(int(linesFor(width - m.left() - m.right()).size())) + m.top() + m.bottom();
}

QSize PreviewText::sizeHint() const {
    const QMargins m = contentsMargins();
    const double natural = naturalWidth();
    return QSize(int(natural) + m.left() + m.right(), textHeight(int(linesFor(natural).size())) + m.top() + m.bottom());
}

QSize PreviewText::minimumSizeHint() const {
    const QMargins m = contentsMargins();
    const double narrow = std::min(naturalWidth(), 3 * QFontMetricsF(font()).averageCharWidth());
    return QSize(int(std::ceil(narrow)) + m.left() + m.right(), textHeight(1) + m.top() + m.bottom());
}

void PreviewText::relayout() {
    const QMargins m = contentsMargins();
    const double width = this->width() > 0 ? this->width() - m.left() - m.right() : naturalWidth();
    const QString shown = linesFor(width).join(QLatin1Char('\n'));
    if (shown != text()) setText(shown);
}

void PreviewText::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    relayout();
}

void PreviewText::applyTone() {
    const QColor color = toneColor(tone_, *this);
    if (palette().color(QPalette::WindowText) == color && palette().color(QPalette::Text) == color) return;
    // Only these two roles are set here; the rest, the appearance included, comes from the parent.
    QPalette own;
    own.setColor(QPalette::WindowText, color);
    own.setColor(QPalette::Text, color);
    setPalette(own);
}

void PreviewText::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) applyTone();
    if (event->type() == QEvent::FontChange) relayout();
}

ReadoutText::ReadoutText(const QString& text, const QFont& font, Tone tone, QWidget* parent)
    : QWidget(parent), text_(text), tone_(tone) {
    setFont(font);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(text);
}

void ReadoutText::setText(const QString& text) {
    if (text == text_) return;
    const QFontMetricsF metrics(font());
    const bool resized = std::ceil(metrics.horizontalAdvance(text)) != std::ceil(metrics.horizontalAdvance(text_));
    text_ = text;
    setAccessibleName(text);
    if (resized) updateGeometry();
    update();
}

QSize ReadoutText::sizeHint() const {
    const QFontMetricsF metrics(font());
    return QSize(int(std::ceil(metrics.horizontalAdvance(text_))), int(std::ceil(metrics.height())));
}

void ReadoutText::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
    QWidget::mouseReleaseEvent(event);
}

void ReadoutText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(toneColor(tone_, *this));
    painter.drawText(QRectF(rect()), Qt::AlignRight | Qt::AlignVCenter, text_);
}

void ReadoutText::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) update();
    if (event->type() == QEvent::FontChange) updateGeometry();
    QWidget::changeEvent(event);
}

SymbolImage::SymbolImage(const QString& name, QSizeF box, Tone tone, QWidget* parent)
    : QWidget(parent), symbol_(name), glyph_(box), tone_(tone) {
    setFixedSize(int(std::ceil(box.width())), int(std::ceil(box.height())));
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolImage::setSymbol(const QString& name) {
    if (name == symbol_) return;
    symbol_ = name;
    update();
}

void SymbolImage::setTone(Tone tone) {
    if (tone == tone_) return;
    tone_ = tone;
    update();
}

void SymbolImage::setGlyphSize(QSizeF size) {
    glyph_ = size;
    update();
}

void SymbolImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    const QRectF glyph(box.center() - QPointF(glyph_.width() / 2, glyph_.height() / 2), glyph_);
    Symbols::draw(painter, glyph, symbol_, toneColor(tone_, *this));
}

void SymbolImage::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

SymbolText::SymbolText(const QString& symbol, const QString& text, const QFont& font, Tone tone, QWidget* parent)
    : QWidget(parent) {
    const double points = font.pixelSize() > 0 ? font.pixelSize() : QFontMetricsF(font).height();
    const QSizeF glyph = Symbols::sizeForFont(points);
    // The box is one text line high so the symbol lines up with the first line.
    const QSizeF box(glyph.width(), std::max(glyph.height(), std::ceil(QFontMetricsF(font).lineSpacing())));
    auto layout = std::make_unique<QHBoxLayout>();
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(int(std::lround(points * 0.5)));
    image_ = std::make_unique<SymbolImage>(symbol, box, tone).release();
    image_->setGlyphSize(glyph);
    label_ = std::make_unique<PreviewText>(text, font, tone).release();
    layout->addWidget(image_, 0, Qt::AlignTop);
    layout->addWidget(label_, 1);
    setLayout(layout.release());
}

SymbolText* makeMessage(const QString& text, const QString& symbol, Tone tone) {
    auto message = std::make_unique<SymbolText>(symbol, text, systemFont(TextStyle::callout), tone);
    message->label().setSelectable(true);
    message->setAccessibleName(text);
    return message.release();
}

} // namespace vaun
