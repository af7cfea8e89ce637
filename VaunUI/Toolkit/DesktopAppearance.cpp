#include "Toolkit/DesktopAppearance.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QPointer>
#include <QWidget>

namespace vaun {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kNamespace = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");

// A blocking call that gives up after the timeout; nothing when the call fails.
std::optional<QVariant> callSettings(const QDBusConnection& bus, const QString& method, QDBusError* error) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call << kNamespace << kKey;
    const QDBusMessage reply = bus.call(call, QDBus::Block, DesktopAppearance::kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        if (error) *error = QDBusError(reply);
        return std::nullopt;
    }
    return reply.arguments().first();
}

} // namespace

DesktopAppearance::DesktopAppearance(QObject* parent) : DesktopAppearance(QDBusConnection::sessionBus(), parent) {}

DesktopAppearance::DesktopAppearance(QDBusConnection bus, QObject* parent) : QObject(parent) {
    if (bus.isConnected()) {
        portalScheme_ = readPortal(bus);
        // Any sender: naming the service would make Qt look up its owner with an unbounded call.
        bus.connect(QString(), kPath, kInterface, QStringLiteral("SettingChanged"), this,
                    SLOT(onSettingChanged(QString, QString, QDBusVariant)));
    }
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
    scheme_ = portalScheme_.value_or(fromApplicationPalette());
}

void DesktopAppearance::follow(QWidget& root) {
    applyColorScheme(root, scheme_);
    connect(this, &DesktopAppearance::colorSchemeChanged, &root,
            [target = QPointer<QWidget>(&root)](ColorScheme scheme) {
                if (target) applyColorScheme(*target, scheme);
            });
}

std::optional<ColorScheme> DesktopAppearance::fromPortalValue(const QVariant& value) {
    QVariant inner = value;
    // Read wraps the value twice (v of v), ReadOne once; unwrap whatever arrives.
    for (int depth = 0; depth < 4 && inner.metaType() == QMetaType::fromType<QDBusVariant>(); ++depth)
        inner = qvariant_cast<QDBusVariant>(inner).variant();
    if (inner.metaType() == QMetaType::fromType<QDBusArgument>()) return std::nullopt;
    bool ok = false;
    const uint code = inner.toUInt(&ok);
    if (!ok) return std::nullopt;
    if (code == 1) return ColorScheme::dark;
    if (code == 2) return ColorScheme::light;
    return std::nullopt;
}

ColorScheme DesktopAppearance::fromApplicationPalette() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return ColorScheme::light;
    return vaun::colorScheme(QGuiApplication::palette());
}

bool DesktopAppearance::eventFilter(QObject* watched, QEvent* event) {
    // The platform theme changes the application palette when the desktop switches; it only
    // decides for us while the portal has no preference.
    if (watched == QCoreApplication::instance() && event->type() == QEvent::ApplicationPaletteChange)
        update(portalScheme_);
    return QObject::eventFilter(watched, event);
}

void DesktopAppearance::onSettingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value) {
    if (nameSpace != kNamespace || key != kKey) return;
    portalScheme_ = fromPortalValue(value.variant());
    update(portalScheme_);
}

std::optional<ColorScheme> DesktopAppearance::readPortal(const QDBusConnection& bus) {
    QDBusError error;
    std::optional<QVariant> value = callSettings(bus, QStringLiteral("ReadOne"), &error);
    // Portals before version 2 only know Read; a timeout means nobody answers, so stop there.
    if (!value && (error.type() == QDBusError::UnknownMethod || error.type() == QDBusError::UnknownInterface))
        value = callSettings(bus, QStringLiteral("Read"), nullptr);
    return value ? fromPortalValue(*value) : std::nullopt;
}

void DesktopAppearance::update(std::optional<ColorScheme> portalScheme) {
    const ColorScheme next = portalScheme.value_or(fromApplicationPalette());
    if (next == scheme_) return;
    scheme_ = next;
    emit colorSchemeChanged(next);
}

} // namespace vaun
