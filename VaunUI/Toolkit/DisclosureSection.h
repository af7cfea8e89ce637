#pragma once
// A collapsible section: a header (chevron, optional symbol, title) that toggles a content
// widget. The expanded state is a plain Boolean with a change signal, so an owner can bind
// it two-way to a model value: setExpanded never echoes an unchanged value.
#include <QAbstractButton>
#include <QPointer>
#include <QWidget>

class QVBoxLayout;

namespace vaun {

// The clickable header; a checkable button (checked = expanded) for keyboard and screen readers.
class DisclosureHeader : public QAbstractButton {
    Q_OBJECT
public:
    explicit DisclosureHeader(const QString& title, const QString& symbol = {}, QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    void setSymbol(const QString& name);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString symbol_;
    bool keyboardFocus_ = false;
};

class DisclosureSection : public QWidget {
    Q_OBJECT
public:
    explicit DisclosureSection(const QString& title, const QString& symbol = {}, QWidget* parent = nullptr);

    DisclosureHeader& header() const { return *header_; }

    // Takes ownership of `content`, replacing (and deleting) any earlier content.
    void setContent(QWidget* content);
    QWidget* content() const { return content_; }

    // Space between the header and the content while expanded, in points.
    void setContentSpacing(int points);

    bool isExpanded() const { return expanded_; }
    void setExpanded(bool expanded);

signals:
    void expandedChanged(bool expanded);

private:
    DisclosureHeader* header_;
    QPointer<QWidget> content_;
    QVBoxLayout* layout_;
    bool expanded_ = false;
};

} // namespace vaun
