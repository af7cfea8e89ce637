#pragma once
// Follows the desktop's light or dark preference: the freedesktop settings portal's
// "org.freedesktop.appearance" / "color-scheme" where a session bus offers it, else the
// lightness of the application palette. Never stalls start-up: every bus call is bounded by
// kCallTimeoutMs, and without a bus nothing is attempted beyond the failed connection.
#include "Toolkit/Appearance.h"

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <QString>
#include <QVariant>

#include <optional>

class QWidget;

namespace vaun {

class DesktopAppearance : public QObject {
    Q_OBJECT
public:
    static constexpr int kCallTimeoutMs = 250;

    // Reads the portal on the session bus.
    explicit DesktopAppearance(QObject* parent = nullptr);
    // Reads the portal on `bus`; a disconnected bus means the palette decides.
    explicit DesktopAppearance(QDBusConnection bus, QObject* parent = nullptr);

    ColorScheme colorScheme() const { return scheme_; }

    // Applies the current scheme to `root` now and on every change, for as long as both live.
    void follow(QWidget& root);

    // The portal's "color-scheme" value (1 dark, 2 light, 0 or anything else no preference),
    // unwrapping the nested variants the portal's Read and ReadOne return.
    static std::optional<ColorScheme> fromPortalValue(const QVariant& value);

    // The scheme the application palette stands for.
    static ColorScheme fromApplicationPalette();

signals:
    void colorSchemeChanged(vaun::ColorScheme scheme);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void onSettingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value);

private:
    static std::optional<ColorScheme> readPortal(const QDBusConnection& bus);
    void update(std::optional<ColorScheme> portalScheme);

    std::optional<ColorScheme> portalScheme_; // the portal's preference, when it states one
    ColorScheme scheme_ = ColorScheme::light;
};

} // namespace vaun
