#pragma once
// The running application on the session bus, as the desktop expects of a D-Bus-activatable
// application: the freedesktop Application interface (Activate, Open, ActivateAction) at
// the object path of the application ID, under the application ID as the bus name. The
// instance that holds the name is the one a later launch hands its file to.
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <filesystem>
#include <vector>

namespace vaun {

class VaunAppDelegate;

class DesktopSession : public QObject {
    Q_OBJECT
public:
    enum class Presence {
        primary,   // this process holds the name and answers the desktop
        secondary, // another instance holds it
        noBus,     // no session bus: every launch is its own instance
    };

    explicit DesktopSession(VaunAppDelegate& delegate, QObject* parent = nullptr);
    ~DesktopSession() override;

    // Exports the interface, then claims the name.
    Presence claim();

    // Asks the instance holding the name to show the first of `files`, or with none to come
    // forward; true when it accepted. `platformData` carries the launch's activation token.
    static bool handOver(const std::vector<std::filesystem::path>& files, const QVariantMap& platformData);
    // What this launch got from its launcher to let the running instance take the focus.
    static QVariantMap launchPlatformData();
    // The command line's file arguments (the program and options left out; all after "--"),
    // made absolute against the current folder.
    static std::vector<std::filesystem::path> fileArguments(const QStringList& arguments);

private:
    friend class ApplicationAdaptor;
    void activate(const QVariantMap& platformData);
    void open(const QStringList& uris, const QVariantMap& platformData);

    VaunAppDelegate& delegate_;
    bool exported_ = false;
};

} // namespace vaun
