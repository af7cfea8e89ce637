// Entry of the host program: the one-shot analysis harness, else the application.
#include "AnalysisJSON.h"
#include "analysis/AudioAnalyzer.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string_view>

namespace vaun {

struct VaunHostApp {
    static int main(int argc, char** argv);

private:
    static int analyze(const char* path);
    static int usage();
};

int VaunHostApp::main(int argc, char** argv) {
    for (int k = 0; k < argc; ++k) {
        if (std::string_view(argv[k]) == "--analyze") {
            if (argc != k + 2) return 2;
            return analyze(argv[k + 1]);
        }
    }
    return usage();
}

int VaunHostApp::analyze(const char* path) {
    try {
        const auto url = std::filesystem::absolute(std::filesystem::path(path));
        const auto analysis = AudioAnalyzer{}.analyze(url, std::nullopt, 480, [] { return false; }, [](double) {});
        const std::string line = analysisJSON(analysis) + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "analyze FAIL: %s\n", e.what());
        return 2;
    }
}

int VaunHostApp::usage() {
    std::fputs("usage: vaun --analyze FILE\n"
               "  --analyze FILE   measure loudness, peaks and the spectrogram size of FILE and\n"
               "                   print them as one line of JSON\n",
               stderr);
    return 2;
}

} // namespace vaun

int main(int argc, char** argv) { return vaun::VaunHostApp::main(argc, argv); }
