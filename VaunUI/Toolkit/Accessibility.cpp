#include "Toolkit/Accessibility.h"

#include <QAccessibleWidget>
#include <QVariant>
#include <QWidget>

#include <memory>

namespace vaun::accessibility {
namespace {

constexpr const char* kHiddenProperty = "vaunAccessibilityHidden";

class ValueInterface : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    ValueInterface(QWidget* widget, ValueSource& source)
        : QAccessibleWidget(widget, source.accessibleRole()), source_(source) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return source_.accessibleValueText();
        return QAccessibleWidget::text(t);
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QVariant currentValue() const override { return source_.accessibleValue(); }
    void setCurrentValue(const QVariant& value) override { source_.setAccessibleValue(value.toDouble()); }
    QVariant maximumValue() const override { return 1.0; }
    QVariant minimumValue() const override { return 0.0; }
    QVariant minimumStepSize() const override { return 0.01; }

private:
    ValueSource& source_;
};

// Present in the tree (Qt needs an interface for every widget) but invisible and without a role.
class HiddenInterface : public QAccessibleWidget {
public:
    explicit HiddenInterface(QWidget* widget) : QAccessibleWidget(widget, QAccessible::NoRole) {}

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.invisible = true;
        s.focusable = false;
        return s;
    }
    QString text(QAccessible::Text) const override { return {}; }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    // Answer once, for the most derived class name, so Qt's own interfaces stay the fallback.
    if (!widget || className != QLatin1String(object->metaObject()->className())) return nullptr;
    if (widget->property(kHiddenProperty).toBool())
        return std::make_unique<HiddenInterface>(widget).release();
    if (auto* source = dynamic_cast<ValueSource*>(widget))
        return std::make_unique<ValueInterface>(widget, *source).release();
    return nullptr;
}

} // namespace

void hide(QWidget& widget) {
    install();
    widget.setProperty(kHiddenProperty, true);
}

void install() {
    static const bool installed = (QAccessible::installFactory(&factory), true);
    (void)installed;
}

void notifyValueChanged(QWidget& widget) {
    if (!QAccessible::isActive()) return;
    auto* source = dynamic_cast<ValueSource*>(&widget);
    if (!source) return;
    QAccessibleValueChangeEvent event(&widget, source->accessibleValue());
    QAccessible::updateAccessibility(&event);
}

} // namespace vaun::accessibility
