// Entry of the host program: the one-shot analysis, metadata and playback harnesses, else the application.
#include "AnalysisJSON.h"
#include "Harness.h"
#include "MetadataJSON.h"
#include "PlayCommand.h"
#include "analysis/AudioAnalyzer.h"
#include "inspect/MetadataAssembler.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string_view>

namespace vaun {

struct VaunHostApp {
    static int main(int argc, char** argv);

private:
    static int analyze(const char* path);
    static int metadata(const char* path);
    static int play(int argc, char** argv, int k);
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
    return usage();
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

// FILE, optionally followed by SECONDS.
int VaunHostApp::play(int argc, char** argv, int k) {
    if (argc == k + 2) return playCommand(argv[k + 1], std::nullopt);
    if (argc == k + 3)
        if (const auto seconds = parseSeconds(argv[k + 2])) return playCommand(argv[k + 1], seconds);
    return 2;
}

int VaunHostApp::usage() {
    std::fputs("usage: vaun --analyze FILE\n"
               "       vaun --metadata FILE\n"
               "       vaun --play FILE [SECONDS]\n"
               "  --analyze FILE   measure loudness, peaks and the spectrogram size of FILE and\n"
               "                   print them as one line of JSON\n"
               "  --metadata FILE  print the file's metadata record (format, layout, broadcast-wave\n"
               "                   and iXML fields, artwork size, warnings) as one line of JSON\n"
               "  --play FILE [SECONDS]\n"
               "                   play FILE on the default sound device for SECONDS or to the end,\n"
               "                   then print the route, the time played, the peak of each channel\n"
               "                   and the underruns as one line of JSON\n",
               stderr);
    return 2;
}

} // namespace vaun

int main(int argc, char** argv) { return vaun::VaunHostApp::main(argc, argv); }
