// Entry of the host program: the one-shot analysis, metadata and playback harnesses, else the application.
#include "ADMJSON.h"
#include "AnalysisJSON.h"
#include "AppIdentity.h"
#include "DesktopSession.h"
#include "Harness.h"
#include "HarnessModes.h"
#include "LoudnessJSON.h"
#include "MetadataJSON.h"
#include "PlayCommand.h"
#include "StartupTrace.h"
#include "VaunAppDelegate.h"
#include "analysis/AudioAnalyzer.h"
#include "inspect/MetadataAssembler.h"
#include "report/ReportCommand.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace vaun {
namespace {

// Harness runs promise a defined line of output; the toolkit's own notes (an offscreen
// platform that cannot pass on size hints, a missing runtime folder) would spoil it. Its
// errors still show.
void harnessMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

struct VaunHostApp {
    static int main(int argc, char** argv);

private:
    static int analyze(const char* path);
    static int metadata(const char* path);
    static int adm(const char* path);
    static int loudness(const char* path);
    static int play(int argc, char** argv, int k);
    static int application(int argc, char** argv);
    static int usage();
    // Index of the first argument equal to `name`, or -1.
    static int find(int argc, char** argv, std::string_view name);
};

int VaunHostApp::main(int argc, char** argv) {
    // "--analyze" takes precedence, then "--metadata", then "--play"; each wants its
    // arguments last on the line.
    if (const int k = find(argc, argv, "--analyze"); k >= 0) return argc == k + 2 ? analyze(argv[k + 1]) : 2;
    if (const int k = find(argc, argv, "--metadata"); k >= 0) return argc == k + 2 ? metadata(argv[k + 1]) : 2;
    if (const int k = find(argc, argv, "--play"); k >= 0) return play(argc, argv, k);
    // "--adm", "--report" and "--loudness" rank below the harness modes the application handles.
    const auto harness = [&] {
        QStringList arguments;
        for (int i = 0; i < argc; ++i) arguments += QString::fromLocal8Bit(argv[i]);
        return hasHarnessSwitch(arguments);
    };
    if (const int k = find(argc, argv, "--adm"); k >= 0 && !harness()) return argc == k + 2 ? adm(argv[k + 1]) : 2;
    if (const int k = find(argc, argv, "--report"); k >= 0 && !harness()) {
        std::vector<std::string> rest;
        for (int i = 1; i < argc; ++i)
            if (i != k) rest.emplace_back(argv[i]);
        return report::reportCommand(rest);
    }
    if (const int k = find(argc, argv, "--loudness"); k >= 0 && !harness())
        return argc == k + 2 ? loudness(argv[k + 1]) : 2;
    if (find(argc, argv, "--help") >= 0) return usage();
    return application(argc, argv);
}

int VaunHostApp::find(int argc, char** argv, std::string_view name) {
    for (int k = 0; k < argc; ++k)
        if (argv[k] == name) return k;
    return -1;
}

int VaunHostApp::analyze(const char* path) {
    return runHarness("analyze", [&] {
        const auto url = std::filesystem::absolute(std::filesystem::path(path));
        return analysisJSON(AudioAnalyzer{}.analyze(url, std::nullopt, 480, [] { return false; }, [](double) {}));
    });
}

int VaunHostApp::metadata(const char* path) {
    return runHarness("metadata", [&] {
        const auto url = std::filesystem::absolute(std::filesystem::path(path));
        AudioMetadata record = MetadataAssembler::assemble(url);
        MetadataAssembler::addArtwork(record, url);
        return metadataJSON(record);
    });
}

int VaunHostApp::adm(const char* path) {
    return runHarness("adm", [&] {
        const auto model = ADMModel::read(std::filesystem::absolute(std::filesystem::path(path)));
        if (!model) throw std::runtime_error("no ADM metadata");
        return admJSON(*model);
    });
}

int VaunHostApp::loudness(const char* path) {
    return runHarness("loudness", [&] {
        const auto url = std::filesystem::absolute(std::filesystem::path(path));
        return loudnessJSON(AudioAnalyzer{}.analyze(url, std::nullopt, 0, [] { return false; }).history);
    });
}

// FILE, optionally followed by SECONDS.
int VaunHostApp::play(int argc, char** argv, int k) {
    if (argc == k + 2) return playCommand(argv[k + 1], std::nullopt);
    if (argc == k + 3)
        if (const auto seconds = parseSeconds(argv[k + 2])) return playCommand(argv[k + 1], seconds);
    return 2;
}

int VaunHostApp::application(int argc, char** argv) {
    QStringList arguments;
    for (int k = 0; k < argc; ++k) arguments += QString::fromLocal8Bit(argv[k]);
    bool harness = hasHarnessSwitch(arguments);
    if (harness) qInstallMessageHandler(harnessMessages);
    // The harness needs no screen: without one it draws offscreen.
    if (harness && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    if (!harness && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("vaun: no display to open a window on (neither WAYLAND_DISPLAY nor DISPLAY is set); "
                   "vaun --metadata FILE and vaun --analyze FILE work without one\n",
                   stderr);
        return 2;
    }

    QApplication app(argc, argv);
    const StartupTrace trace;
    // Without the toolkit's own options ("-platform NAME" and the like), which are no files.
    arguments = QCoreApplication::arguments();
    harness = hasHarnessSwitch(arguments);
    QApplication::setOrganizationName(identity::organizationName);
    QApplication::setOrganizationDomain(identity::organizationDomain);
    QApplication::setApplicationName(identity::applicationName);
    QApplication::setApplicationDisplayName(QStringLiteral("ZOREL Vaun"));
    QApplication::setApplicationVersion(QStringLiteral(VAUN_VERSION));
    QApplication::setDesktopFileName(identity::applicationID);
    QApplication::setWindowIcon(QIcon::fromTheme(identity::applicationID, QIcon(QStringLiteral(":/app/com.zorel.Vaun.svg"))));

    const bool accessory = arguments.contains(QStringLiteral("--smoke-test"));
    VaunAppDelegate delegate(arguments, accessory);
    std::optional<DesktopSession> session;
    if (!harness) {
        const auto files = DesktopSession::fileArguments(arguments);
        session.emplace(delegate);
        // A running instance takes the file and comes forward; should it fail to answer,
        // this launch carries on as an instance of its own.
        if (session->claim() == DesktopSession::Presence::secondary &&
            DesktopSession::handOver(files, DesktopSession::launchPlatformData()))
            return 0;
        delegate.openFiles(files);
    }
    QTimer::singleShot(0, &delegate, &VaunAppDelegate::applicationDidFinishLaunching);
    return app.exec();
}

int VaunHostApp::usage() {
    std::fputs("usage: vaun [FILE]\n"
               "       vaun --analyze FILE\n"
               "       vaun --metadata FILE\n"
               "       vaun --play FILE [SECONDS]\n"
               "       vaun --adm FILE\n"
               "       vaun --report PATH... [--target NAME] [--jobs N] [--format csv|json] [--files-from LIST]\n"
               "       vaun --loudness FILE\n"
               "  FILE             open the window on FILE (an audio file); a running instance\n"
               "                   shows it instead\n"
               "  --analyze FILE   measure loudness, peaks and the spectrogram size of FILE and\n"
               "                   print them as one line of JSON\n"
               "  --metadata FILE  print the file's metadata record (format, layout, broadcast-wave\n"
               "                   and iXML fields, artwork size, warnings) as one line of JSON\n"
               "  --play FILE [SECONDS]\n"
               "                   play FILE on the default sound device for SECONDS or to the end,\n"
               "                   then print the route, the time played, the peak of each channel\n"
               "                   and the underruns as one line of JSON\n"
               "  --adm FILE       print the file's ADM model (programme, content, tracks with their\n"
               "                   types, speaker labels and positions) as one line of JSON\n"
               "  --report PATH... loudness, peaks and a verdict against a delivery target for every audio\n"
               "                   file among the PATHs and in their folders, one CSV or JSON row per\n"
               "                   file (vaun --report --help for the options and targets)\n"
               "  --loudness FILE  the momentary and short-term loudness every 100 ms and the times\n"
               "                   of true-peak overs (above -1 dBTP) as one line of JSON\n"
               "  --render-preview FILE DIR, --perf-sim FILE SECONDS [MODE], --smoke-test FILE\n"
               "                   harness modes of the running application\n"
               "  --help           print this text\n",
               stdout);
    return 0;
}

} // namespace vaun

int main(int argc, char** argv) { return vaun::VaunHostApp::main(argc, argv); }
