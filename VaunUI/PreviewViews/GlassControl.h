#pragma once
// The one button style of the preview: always a capsule. Prominent buttons are filled with
// the system blue and carry a white label; plain ones are bordered, on the control
// background with a hairline edge and a primary label. An optional symbol sits before the
// text, or alone. A fixed size (setFixedSize) wins over the size hint.
#include <QAbstractButton>
#include <QFont>

namespace vaun {

class GlassControl : public QAbstractButton {
    Q_OBJECT
public:
    enum class ControlSize { small, regular, large };

    explicit GlassControl(bool prominent = false, QWidget* parent = nullptr);
    GlassControl(const QString& text, bool prominent, QWidget* parent = nullptr);

    bool isProminent() const { return prominent_; }
    void setProminent(bool prominent);

    QString symbol() const { return symbol_; }
    void setSymbol(const QString& name); // empty: text only

    ControlSize controlSize() const { return controlSize_; }
    void setControlSize(ControlSize size);

    // The font the label is drawn in: the one set with setFont, else the control size's own.
    QFont labelFont() const;

    // The capsule's fill in the current appearance and state.
    QColor fillColor() const;
    QColor labelColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool prominent_ = false;
    QString symbol_;
    ControlSize controlSize_ = ControlSize::regular;
    bool hovered_ = false;
    bool keyboardFocus_ = false;
};

} // namespace vaun
