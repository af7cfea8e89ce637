#pragma once
// Text pieces of the preview: a label drawn in one of the appearance's colours that wraps
// anywhere (file names and paths have no spaces to break at) and can be cut to a number of
// lines; a symbol image; and a symbol beside a text, for messages and the route note.
#include <QFont>
#include <QLabel>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace vaun {

enum class Tone { primary, secondary, blue, orange, red };

// The tone's colour in the appearance `widget` shows.
QColor toneColor(Tone tone, const QWidget& widget);

class PreviewText : public QLabel {
    Q_OBJECT
public:
    PreviewText(const QString& text, const QFont& font, Tone tone, QWidget* parent = nullptr);

    // The whole text; what QLabel shows is this broken into lines that fit the width.
    QString fullText() const { return fullText_; }
    void setFullText(const QString& text);

    Tone tone() const { return tone_; }
    void setTone(Tone tone);

    // 0: as many lines as the text needs; else the last line is elided.
    int maximumLines() const { return maximumLines_; }
    void setMaximumLines(int lines);

    void setSelectable(bool selectable);

    // The lines the text takes at `width` points.
    QStringList linesFor(double width) const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void relayout();
    void applyTone();
    double naturalWidth() const;
    int textHeight(int lines) const;

    QString fullText_;
    Tone tone_;
    int maximumLines_ = 0;
};

// One line of text that changes many times a second (the playback time). QLabel asks for a new
// layout on every change; this asks only when the text's width changes.
class ReadoutText : public QWidget {
    Q_OBJECT
public:
    ReadoutText(const QString& text, const QFont& font, Tone tone, QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString text_;
    Tone tone_;
};

// A symbol centred in a fixed box, tinted with a tone.
class SymbolImage : public QWidget {
    Q_OBJECT
public:
    SymbolImage(const QString& name, QSizeF box, Tone tone, QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    void setSymbol(const QString& name);
    void setTone(Tone tone);
    // The symbol's own size within the box (default: the box).
    void setGlyphSize(QSizeF size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString symbol_;
    QSizeF glyph_;
    Tone tone_;
};

// A symbol before a text, both in one tone; the symbol sits on the first line.
class SymbolText : public QWidget {
    Q_OBJECT
public:
    SymbolText(const QString& symbol, const QString& text, const QFont& font, Tone tone, QWidget* parent = nullptr);

    SymbolImage& image() const { return *image_; }
    PreviewText& label() const { return *label_; }

private:
    SymbolImage* image_;
    PreviewText* label_;
};

// A message of the column: symbol and selectable text in the callout style, in one colour.
SymbolText* makeMessage(const QString& text, const QString& symbol, Tone tone);

} // namespace vaun
