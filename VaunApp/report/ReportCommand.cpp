#include "report/ReportCommand.h"

#include "InterruptWatch.h"
#include "analysis/AudioAnalyzer.h"
#include "common/Errors.h"
#include "decode/AudioFile.h"
#include "inspect/MetadataAssembler.h"
#include "inspect/UTTypeProbe.h"
#include "report/LoudnessTargets.h"
#include "report/ReportFiles.h"
#include "report/ReportRow.h"

#include <unistd.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>
#include <span>
#include <thread>

namespace vaun::report {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Options {
    std::vector<fs::path> paths;
    std::vector<std::string> lists;
    const LoudnessTarget* target = &defaultTarget();
    int jobs = int(std::max(1u, std::thread::hardware_concurrency()));
    bool json = false;
    bool help = false;
};

// Absent with `problem` set when the line is not understood.
std::optional<Options> parse(const std::vector<std::string>& args, std::string& problem) {
    Options o;
    bool pathsOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (pathsOnly || !a.starts_with("--")) {
            o.paths.emplace_back(a);
            continue;
        }
        if (a == "--") {
            pathsOnly = true;
            continue;
        }
        if (a == "--help") {
            o.help = true;
            continue;
        }
        if (a != "--target" && a != "--jobs" && a != "--format" && a != "--files-from") {
            problem = "unknown option " + a;
            return std::nullopt;
        }
        if (i + 1 == args.size()) {
            problem = a + " needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        if (a == "--target") {
            o.target = findTarget(value);
            if (!o.target) {
                problem = "unknown target " + value + " (ebu-r128, ebu-r128-live, atsc-a85, streaming, apple-music, none)";
                return std::nullopt;
            }
        } else if (a == "--jobs") {
            const auto r = std::from_chars(value.data(), value.data() + value.size(), o.jobs);
            if (r.ec != std::errc() || r.ptr != value.data() + value.size() || o.jobs < 1 || o.jobs > 1024) {
                problem = "--jobs wants a number from 1 to 1024";
                return std::nullopt;
            }
        } else if (a == "--format") {
            if (value != "csv" && value != "json") {
                problem = "--format is csv or json";
                return std::nullopt;
            }
            o.json = value == "json";
        } else {
            o.lists.push_back(value);
        }
    }
    if (!o.help && o.paths.empty() && o.lists.empty()) {
        problem = "no files or folders given";
        return std::nullopt;
    }
    return o;
}

// A file opened for measuring: its row with the facts the preview shows, and the open
// file; or the row with the error that kept it from opening.
struct Opened {
    ReportRow row;
    std::optional<AudioFile> audio;

    std::size_t channels() const { return audio ? audio->processingFormat().channelCount : 0; }
};

// One or two channels leave most of the loudness filter's vector lanes idle, so such files
// are measured side by side, as many as its widest vector holds channels.
constexpr std::size_t kGroupChannels = 4;

bool small(std::size_t channels) {
    return channels > 0 && channels <= 2;
}

void markUnreadable(ReportRow& row, std::string error) {
    row.verdict = Outcome::unreadable;
    row.error = std::move(error);
}

Opened open(const FoundFile& file) {
    Opened opened;
    ReportRow& row = opened.row;
    row.path = file.path.string();
    if (!file.error.empty()) {
        markUnreadable(row, file.error);
        return opened;
    }
    try {
        // The facts from the one open the analysis reads through; the rest of the metadata
        // record (chunks, ADM, artwork) is of no use here.
        AudioFile audio(file.path);
        row.container = UTTypeProbe::probe(file.path).displayName;
        row.codec = MetadataAssembler::codecName(audio.fileFormat(), audio.streamFacts());
        row.channels = int(audio.fileFormat().channelCount);
        const double rate = audio.processingFormat().sampleRateHz;
        if (std::isfinite(rate) && rate > 0 && rate < 1e12) {
            row.sampleRate = std::llround(rate);
            row.duration = double(audio.length()) / rate;
        }
        opened.audio.emplace(std::move(audio));
    } catch (const std::exception& e) {
        markUnreadable(row, e.what());
    }
    return opened;
}

void complete(ReportRow& row, const AudioAnalyzer::Outcome& outcome, const LoudnessTarget& target) {
    if (outcome.error) {
        try {
            std::rethrow_exception(outcome.error);
        } catch (const std::exception& e) {
            markUnreadable(row, e.what());
        } catch (...) {
            markUnreadable(row, "unknown error");
        }
        return;
    }
    const AudioAnalysis& a = outcome.analysis;
    row.integrated = a.integratedLUFS;
    row.lra = a.loudnessRangeLU;
    row.truePeak = a.truePeakDBTP;
    row.samplePeak = a.samplePeakDBFS;
    row.maxMomentary = a.maxMomentaryLUFS;
    row.maxShortTerm = a.maxShortTermLUFS;
    const auto v = verdict(a.integratedLUFS, a.truePeakDBTP, target);
    row.verdict = v.passed ? Outcome::pass : Outcome::fail;
    row.reasons = v.reasons;
}

// Seconds of audio a row adds to the totals.
double secondsOf(const ReportRow& row) {
    return row.duration && std::isfinite(*row.duration) && *row.duration > 0 ? *row.duration : 0.0;
}

std::string clock(double seconds, bool tenths) {
    const long long t = std::llround(std::max(0.0, seconds) * (tenths ? 10 : 1));
    const long long s = tenths ? t / 10 : t;
    char buffer[64];
    if (tenths)
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld.%lld", s / 3600, s / 60 % 60, s % 60, t % 10);
    else if (s >= 3600)
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld", s / 60, s % 60);
    return buffer;
}

void write(std::FILE* to, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), to);
    std::fflush(to);
}

// Rows are written in path order, so the files are taken in that order, a window at a time;
// within a window the largest go first, so the run does not end on one long file while the
// other workers idle.
std::vector<std::size_t> largestFirstInWindows(const std::vector<FoundFile>& files) {
    constexpr std::size_t kWindow = 64;
    std::vector<std::uintmax_t> sizes;
    for (const auto& f : files) {
        std::error_code error;
        const auto size = std::filesystem::file_size(f.path, error);
        sizes.push_back(error ? 0 : size);
    }
    std::vector<std::size_t> order(files.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    for (std::size_t from = 0; from < order.size(); from += kWindow) {
        const auto to = order.begin() + std::ptrdiff_t(std::min(order.size(), from + kWindow));
        std::stable_sort(order.begin() + std::ptrdiff_t(from), to,
                         [&](std::size_t a, std::size_t b) { return sizes[a] > sizes[b]; });
    }
    return order;
}

// The files, the workers and the rows they hand back for writing in order.
class Run {
public:
    Run(const Options& options, ReportFiles found, const std::atomic<bool>& interrupted, Clock::time_point start)
        : options_(options), found_(std::move(found)), start_(start), interrupted_(interrupted) {
        rows_.resize(found_.files.size());
        order_ = largestFirstInWindows(found_.files);
    }

    bool interrupted() const { return interrupted_.load(); }

    int execute() {
        if (!options_.json) write(stdout, csvHeader());
        const std::size_t count = found_.files.size();
        const std::size_t jobs = std::min(count, std::size_t(options_.jobs));
        std::vector<std::jthread> workers;
        active_ = jobs;
        for (std::size_t j = 0; j < jobs; ++j) workers.emplace_back([this] { work(); });
        {
            std::unique_lock lock(mutex_);
            while (active_ > 0) {
                wake_.wait_for(lock, std::chrono::milliseconds(100));
                flush(lock, false);
                progress(lock);
            }
        }
        workers.clear();
        std::unique_lock lock(mutex_);
        // An interrupt leaves gaps; what was finished is still written, in order.
        flush(lock, true);
        clearProgress();
        summary();
        if (interrupted()) return 130;
        return failed_ + unreadable_ > 0 ? 1 : 0;
    }

private:
    void work() {
        const CancellationTest isCancelled = [this] { return interrupted_.load(std::memory_order_relaxed); };
        // With a file per core in flight, decoding ahead on more threads only adds hand-overs.
        AudioAnalyzer analyzer;
        if (std::size_t(options_.jobs) >= std::max(1u, std::thread::hardware_concurrency())) analyzer.readAheadBlocks = 0;
        std::optional<Taken> carried; // opened, but did not fit the group before
        while (!interrupted()) {
            std::vector<Taken> group;
            try {
                if (carried) {
                    group.push_back(std::move(*carried));
                    carried.reset();
                } else if (const auto i = take()) {
                    group.push_back({*i, open(found_.files[*i])});
                } else {
                    break;
                }
                // Other files met while gathering are measured on their own at once; a small
                // one that does not fit starts the next group.
                std::size_t channels = group[0].file.channels();
                while (small(channels) && channels < kGroupChannels) {
                    const auto j = take();
                    if (!j) break;
                    group.push_back({*j, open(found_.files[*j])});
                    const std::size_t more = group.back().file.channels();
                    if (!small(more)) {
                        measureGroup(std::span(group).last(1), analyzer, isCancelled);
                        group.pop_back();
                    } else if (channels + more > kGroupChannels) {
                        carried.emplace(std::move(group.back()));
                        group.pop_back();
                        break;
                    } else {
                        channels += more;
                    }
                }
                measureGroup(group, analyzer, isCancelled);
            } catch (const CancellationError&) {
                break;
            } catch (const std::exception& e) { // out of memory while building a row
                for (const Taken& t : group) {
                    if (stored(t.index)) continue;
                    ReportRow row;
                    row.path = found_.files[t.index].path.string();
                    markUnreadable(row, e.what());
                    store(t.index, std::move(row));
                }
            }
        }
        std::lock_guard lock(mutex_);
        --active_;
        wake_.notify_all();
    }

    struct Taken {
        std::size_t index;
        Opened file;
    };

    // Each row is stored as soon as its file is done, so a short file grouped with a long
    // one is not held back (nor lost to an interrupt). No spectrogram is asked for: the
    // analyzer then does almost none of that work.
    void measureGroup(std::span<Taken> group, const AudioAnalyzer& analyzer, const CancellationTest& isCancelled) {
        if (group.size() == 1 && !group[0].file.audio) {
            store(group[0].index, std::move(group[0].file.row));
            return;
        }
        std::vector<AudioFile> files;
        for (Taken& t : group) files.push_back(std::move(*t.file.audio));
        analyzer.analyzeTogether(std::move(files), isCancelled, [&](std::size_t k, AudioAnalyzer::Outcome outcome) {
            complete(group[k].file.row, outcome, *options_.target);
            store(group[k].index, std::move(group[k].file.row));
        });
    }

    // The index of the next file to measure, if any is left.
    std::optional<std::size_t> take() {
        const std::size_t k = next_.fetch_add(1);
        if (k >= order_.size()) return std::nullopt;
        return order_[k];
    }

    bool stored(std::size_t i) {
        std::lock_guard lock(mutex_);
        return rows_[i] != nullptr || written_ > i;
    }

    void store(std::size_t i, ReportRow row) {
        std::lock_guard lock(mutex_);
        ++finished_;
        finishedSeconds_ += secondsOf(row);
        rows_[i] = std::make_unique<ReportRow>(std::move(row));
        wake_.notify_all();
    }

    // Writes the rows ready in order; with `gaps`, also those after missing ones.
    void flush(std::unique_lock<std::mutex>&, bool gaps) {
        std::string text;
        for (; written_ < rows_.size(); ++written_) {
            auto& row = rows_[written_];
            if (!row) {
                if (gaps) continue;
                break;
            }
            text += options_.json ? jsonLine(*row) : csvLine(*row);
            ++files_;
            if (row->verdict == Outcome::pass) ++passed_;
            else if (row->verdict == Outcome::fail) ++failed_;
            else ++unreadable_;
            if (row->verdict != Outcome::unreadable) audioSeconds_ += secondsOf(*row);
            row.reset();
        }
        if (text.empty()) return;
        // Rows going to the same terminal must not land on the status line.
        if (rowsToTerminal_) clearProgress();
        write(stdout, text);
    }

    void progress(std::unique_lock<std::mutex>&) {
        if (!terminal_) return;
        // A line redrawn for every short file would cost more than it tells.
        const auto now = Clock::now();
        if (now - drawn_ < std::chrono::milliseconds(100)) return;
        drawn_ = now;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        std::string line = "report: " + std::to_string(finished_) + " of " + std::to_string(rows_.size()) + " files";
        char buffer[96];
        if (elapsed > 0) {
            std::snprintf(buffer, sizeof buffer, ", %.2f h of audio/s", finishedSeconds_ / 3600.0 / elapsed);
            line += buffer;
        }
        if (finished_ > 0 && finished_ < rows_.size())
            line += ", about " + clock(elapsed / double(finished_) * double(rows_.size() - finished_), false) + " left";
        write(stderr, "\r\033[K" + line);
        progressShown_ = true;
    }

    void clearProgress() {
        if (!progressShown_) return;
        write(stderr, "\r\033[K");
        progressShown_ = false;
    }

    void summary() {
        const double wall = std::chrono::duration<double>(Clock::now() - start_).count();
        char buffer[320];
        std::snprintf(buffer, sizeof buffer,
                      "report: %lld files, %lld passed, %lld failed, %lld unreadable, %lld skipped, %s of audio, %.1f s%s\n",
                      files_, passed_, failed_, unreadable_, (long long)found_.skipped,
                      clock(audioSeconds_, true).c_str(), wall, interrupted() ? ", interrupted" : "");
        write(stderr, buffer);
    }

    const Options& options_;
    const ReportFiles found_;
    const Clock::time_point start_;
    const bool terminal_ = ::isatty(2) == 1;
    const bool rowsToTerminal_ = ::isatty(1) == 1;
    const std::atomic<bool>& interrupted_;
    std::vector<std::size_t> order_; // the order the workers take the files in
    std::atomic<std::size_t> next_{0};
    std::mutex mutex_;
    std::condition_variable wake_;
    std::size_t active_ = 0;
    // Slots in path order, filled as rows are finished and emptied once written.
    std::vector<std::unique_ptr<ReportRow>> rows_;
    std::size_t written_ = 0;
    std::size_t finished_ = 0;
    double finishedSeconds_ = 0;
    long long files_ = 0, passed_ = 0, failed_ = 0, unreadable_ = 0;
    double audioSeconds_ = 0;
    bool progressShown_ = false;
    Clock::time_point drawn_;
};

} // namespace

std::string reportUsage() {
    std::string text =
        "usage: vaun --report PATH... [--target NAME] [--jobs N] [--format csv|json] [--files-from LIST]\n"
        "Measures every audio file among the PATHs and under the folders among them (recursively,\n"
        "links followed), N files at a time, and prints one row per file in path order: path,\n"
        "container, codec, channels, sampleRate, duration, integrated, lra, truePeak, samplePeak,\n"
        "maxMomentary, maxShortTerm, verdict (pass, fail or unreadable), reasons, error. Files in\n"
        "folders that are no audio are skipped and counted; a summary goes to standard error.\n"
        "  --target NAME      check every file against NAME (default: none)\n"
        "  --jobs N           files measured at once (default: the number of cores)\n"
        "  --format csv|json  CSV with a header line (default), or one JSON object per line\n"
        "  --files-from LIST  also the paths in LIST, one a line; - reads standard input\n"
        "Exit status: 0 every file passed, 1 a file failed or was unreadable, 2 usage error,\n"
        "130 interrupted (the rows finished so far are written).\n"
        "Targets, with the documents they come from (loudness and peaks are judged as shown,\n"
        "to one decimal):\n";
    for (const auto& t : loudnessTargets()) {
        text += "  " + std::string(t.name) + std::string(16 - t.name.size(), ' ') + std::string(t.summary) + "\n";
        if (!t.source.empty()) text += std::string(18, ' ') + std::string(t.source) + "\n";
    }
    return text;
}

int reportCommand(const std::vector<std::string>& arguments) {
    std::string problem;
    const auto options = parse(arguments, problem);
    if (!options) {
        std::fprintf(stderr, "vaun --report: %s\n(vaun --report --help lists the options and targets)\n", problem.c_str());
        return 2;
    }
    if (options->help) {
        write(stdout, reportUsage());
        return 0;
    }
    const auto start = Clock::now();
    std::vector<fs::path> paths = options->paths;
    try {
        for (const auto& list : options->lists) {
            auto listed = readFileList(list);
            paths.insert(paths.end(), listed.begin(), listed.end());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vaun --report: %s\n", e.what());
        return 2;
    }

    // Before any thread, so that every one of them leaves Ctrl-C to the watch; the flag
    // outlives the watch, whose thread sets it. The workers and the writer poll it.
    std::atomic<bool> interrupted{false};
    InterruptWatch watch([&interrupted] { interrupted.store(true); });
    ReportFiles found;
    try {
        found = collectReportFiles(paths, [&] { return interrupted.load(); });
    } catch (const CancellationError&) {
    }
    return Run(*options, std::move(found), interrupted, start).execute();
}

} // namespace vaun::report
