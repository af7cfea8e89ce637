// vaun-preview FILE…: a quick-look panel for audio files, hosting the preview plug-in the
// way a file manager's preview service would. `--self-test FILE` runs the panel offscreen
// with playback rendered into memory and reports whether autoplay started.
#include "PreviewExtension.h"
#include "PreviewPanel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPluginLoader>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

namespace {

using vaun::PreviewExtension;
using vaun::PreviewPanel;

// Next to the program in the build tree; under lib/…/vaun/ of the installation, found
// relative to the program first so that a relocated package still finds it.
QStringList pluginCandidates() {
    const QString dir = QCoreApplication::applicationDirPath();
    const QString file = QStringLiteral(VAUN_PREVIEW_PLUGIN_FILE);
    return {dir + '/' + file, QDir::cleanPath(dir + QStringLiteral("/../" VAUN_INSTALL_LIBDIR "/vaun/") + file),
            QStringLiteral(VAUN_INSTALL_FULL_LIBDIR "/vaun/") + file};
}

PreviewExtension* loadExtension(QPluginLoader& loader, QString& why) {
    for (const QString& candidate : pluginCandidates()) {
        if (!QFileInfo::exists(candidate)) continue;
        loader.setFileName(candidate);
        auto* extension = qobject_cast<PreviewExtension*>(loader.instance());
        if (!extension) {
            why = loader.errorString();
            continue;
        }
        if (extension->version() != PreviewExtension::interfaceVersion) {
            why = QStringLiteral("%1 is of another version").arg(candidate);
            continue;
        }
        return extension;
    }
    if (why.isEmpty()) why = QStringLiteral("the preview plug-in is not installed");
    return nullptr;
}

bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

int fail(const QString& step) {
    std::fprintf(stderr, "preview FAIL: %s\n", qPrintable(step));
    return 2;
}

// appear → prepare → autoplay → disappear, as the panel delivers them.
int selfTest(PreviewExtension& extension, const QString& file) {
    extension.setOfflinePlayback(true);
    PreviewPanel panel(extension, {file});
    std::optional<QString> outcome;
    panel.setOnPrepared([&outcome](bool ok, const QString& error) { outcome = ok ? QString() : error; });
    panel.open();
    if (!waitUntil([&] { return outcome.has_value(); }, 60000)) return fail(QStringLiteral("prepare: no answer"));
    if (!outcome->isEmpty()) return fail(QStringLiteral("prepare: ") + *outcome);
    if (!waitUntil([&] { return extension.isPlaying(); }, 5000)) return fail(QStringLiteral("autoplay"));
    panel.close();
    if (extension.isPlaying()) return fail(QStringLiteral("disappear"));
    std::printf("preview PASS\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool selfTesting = argc >= 2 && QByteArrayView(argv[1]) == "--self-test";
    // The self-test needs no display.
    if (selfTesting) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vaun-preview"));
    QApplication::setOrganizationName(QStringLiteral("ZOREL"));

    QStringList files = QApplication::arguments().mid(1);
    if (selfTesting) files.removeFirst();
    if (files.isEmpty() || (selfTesting && files.size() != 1)) {
        std::fprintf(stderr, "usage: vaun-preview FILE…\n");
        return 2;
    }

    QPluginLoader loader;
    QString why;
    PreviewExtension* extension = loadExtension(loader, why);
    if (!extension) {
        if (selfTesting) return fail(QStringLiteral("load plug-in: ") + why);
        std::fprintf(stderr, "vaun-preview: %s\n", qPrintable(why));
        return 2;
    }

    int status = 0;
    if (selfTesting) {
        status = selfTest(*extension, files.front());
    } else {
        // A utility window does not count for quitting on the last window, so say so here.
        auto panel = std::make_unique<PreviewPanel>(*extension, files);
        QObject::connect(panel.get(), &PreviewPanel::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
        panel->open();
        status = app.exec();
        panel.reset();
    }
    // The plug-in's controller goes before the library that holds its code.
    loader.unload();
    return status;
}
