// vaun-thumbnailer -s SIZE INPUT OUTPUT: the file manager's thumbnail of an audio file, its
// waveform. Started once per file, often in a sandbox without a display: no application
// object, no fonts, only the decoder and the waveform drawing.
#include "Thumbnail.h"
#include "Watchdog.h"

#include <fstream>
#include <iostream>
#include <system_error>

namespace {

constexpr std::chrono::seconds timeLimit{5};
constexpr int failed = 1;
constexpr int usageError = 2;

void writeFile(const std::filesystem::path& path, const QByteArray& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.constData(), std::streamsize(bytes.size()));
    out.close();
    if (!out) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        throw vaun::Error("VaunThumbnailer", 1, "Cannot write " + path.string() + ".");
    }
}

int thumbnail(const vaun::thumbnail::Arguments& args, vaun::Watchdog& watchdog) {
    using namespace vaun::thumbnail;
    const std::filesystem::path input = localPath(args.input);
    // A FIFO or a device would block the decoder or never end.
    if (!std::filesystem::is_regular_file(input)) {
        std::cerr << "vaun-thumbnailer: not a readable file: " << input.string() << '\n';
        return failed;
    }
    const auto waveform = previewWaveform(input);
    if (waveform.isEmpty()) {
        std::cerr << "vaun-thumbnailer: no audio in " << input.string() << '\n';
        return failed;
    }
    const QByteArray png = encodePNG(draw(waveform, args.size));
    watchdog.guard(args.output);
    writeFile(args.output, png);
    watchdog.disarm();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    vaun::Watchdog watchdog(timeLimit, failed);
    const auto args = vaun::thumbnail::parseArguments({argv, std::size_t(argc)});
    if (!args) {
        std::cerr << "usage: vaun-thumbnailer -s SIZE INPUT OUTPUT\n"
                     "  Draws the waveform of the audio file INPUT (a path or a file:// URI) into the PNG\n"
                     "  file OUTPUT, SIZE pixels wide (" << vaun::thumbnail::minimumSize << "-"
                  << vaun::thumbnail::maximumSize << ") and half as high.\n";
        return usageError;
    }
    try {
        return thumbnail(*args, watchdog);
    } catch (const std::exception& e) {
        std::cerr << "vaun-thumbnailer: " << e.what() << '\n';
        return failed;
    }
}
