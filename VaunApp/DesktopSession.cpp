#include "DesktopSession.h"

#include "AppIdentity.h"
#include "AudioFileTypes.h"
#include "VaunAppDelegate.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFile>
#include <QGuiApplication>
#include <QUrl>

#include <memory>

namespace vaun {

// The interface as the desktop calls it; the names of the members and their arguments are
// the specification's, hence the upper case.
class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit ApplicationAdaptor(DesktopSession& session) : QDBusAbstractAdaptor(&session), session_(session) {}

public slots:
    void Activate(const QVariantMap& platform_data) { session_.activate(platform_data); }
    void Open(const QStringList& uris, const QVariantMap& platform_data) { session_.open(uris, platform_data); }
    // The desktop entry declares no actions.
    void ActivateAction(const QString& action_name, const QVariantList& parameter, const QVariantMap& platform_data) {
        Q_UNUSED(action_name)
        Q_UNUSED(parameter)
        Q_UNUSED(platform_data)
    }

private:
    DesktopSession& session_;
};

namespace {

constexpr int kHandOverTimeoutMs = 10'000;

// Lets the next activation of the window take the focus on Wayland, where only a token
// from the launcher may do so.
void takeActivationToken(const QVariantMap& platformData) {
    const QString token = platformData.value(QStringLiteral("activation-token")).toString();
    if (!token.isEmpty() && QGuiApplication::platformName() == QLatin1String("wayland"))
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
}

} // namespace

DesktopSession::DesktopSession(VaunAppDelegate& delegate, QObject* parent) : QObject(parent), delegate_(delegate) {
    (void)std::make_unique<ApplicationAdaptor>(*this).release(); // owned by this object
}

DesktopSession::~DesktopSession() {
    if (exported_) QDBusConnection::sessionBus().unregisterObject(identity::objectPath);
}

DesktopSession::Presence DesktopSession::claim() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return Presence::noBus;
    // The object first: whoever sees the name can call it at once.
    exported_ = bus.registerObject(identity::objectPath, this, QDBusConnection::ExportAdaptors);
    if (!exported_) return Presence::noBus;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        identity::applicationID, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) return Presence::primary;
    bus.unregisterObject(identity::objectPath);
    exported_ = false;
    return reply.isValid() ? Presence::secondary : Presence::noBus;
}

bool DesktopSession::handOver(const std::vector<std::filesystem::path>& files, const QVariantMap& platformData) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(identity::applicationID, identity::objectPath,
                                                      identity::applicationInterface,
                                                      files.empty() ? QStringLiteral("Activate") : QStringLiteral("Open"));
    if (!files.empty()) {
        QStringList uris;
        for (const auto& file : files)
            uris += QString::fromLatin1(QUrl::fromLocalFile(QFile::decodeName(file.c_str())).toEncoded());
        call << uris;
    }
    call << platformData;
    return bus.call(call, QDBus::Block, kHandOverTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

QVariantMap DesktopSession::launchPlatformData() {
    QVariantMap data;
    if (const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN"); !token.isEmpty())
        data.insert(QStringLiteral("activation-token"), token);
    if (const QString id = qEnvironmentVariable("DESKTOP_STARTUP_ID"); !id.isEmpty())
        data.insert(QStringLiteral("desktop-startup-id"), id);
    return data;
}

std::vector<std::filesystem::path> DesktopSession::fileArguments(const QStringList& arguments) {
    std::vector<std::filesystem::path> files;
    bool options = true;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (options && argument == QLatin1String("--")) {
            options = false;
            continue;
        }
        if (options && argument.startsWith(u'-')) continue;
        const QUrl url(argument);
        files.push_back(localPath(url.isLocalFile() ? url.toLocalFile() : argument));
    }
    return files;
}

void DesktopSession::activate(const QVariantMap& platformData) {
    takeActivationToken(platformData);
    delegate_.activate();
}

void DesktopSession::open(const QStringList& uris, const QVariantMap& platformData) {
    takeActivationToken(platformData);
    // Only the first counts; one that is no local file (the desktop may hand over remote
    // locations) just brings the window forward.
    const QUrl first = uris.isEmpty() ? QUrl() : QUrl(uris.constFirst());
    if (first.isLocalFile()) delegate_.openFiles({localPath(first.toLocalFile())});
    else delegate_.activate();
}

} // namespace vaun

#include "DesktopSession.moc"
