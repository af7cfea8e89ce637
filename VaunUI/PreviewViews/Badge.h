#pragma once
// A small capsule label for file-format badges: blue semibold text on a pale blue capsule.
#include <QString>
#include <QWidget>

namespace vaun {

class Badge : public QWidget {
    Q_OBJECT
public:
    static constexpr double kFontPoints = 10;
    static constexpr double kTracking = 0.3;
    static constexpr int kPaddingH = 7;
    static constexpr int kPaddingV = 2;
    static constexpr double kFillOpacity = 0.12;

    explicit Badge(const QString& text = {}, QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont badgeFont() const;
    double textWidth() const;

    QString text_;
};

} // namespace vaun
