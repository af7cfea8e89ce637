#include "report/ReportFiles.h"

#include "common/Errors.h"
#include "inspect/UTTypeProbe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iostream>
#include <set>
#include <system_error>
#include <utility>

namespace vaun::report {
namespace {

namespace fs = std::filesystem;

std::string describe(int err) { return std::generic_category().message(err); }

class Collector {
public:
    Collector(ReportFiles& out, const std::function<bool()>& isCancelled) : out_(out), isCancelled_(isCancelled) {}

    void argument(const fs::path& given) {
        const fs::path path = absoluteClean(given);
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return add(path, describe(errno));
        if (S_ISDIR(st.st_mode)) {
            if (visited_.insert({st.st_dev, st.st_ino}).second) walk(path);
            return;
        }
        if (!S_ISREG(st.st_mode)) {
            ++out_.skipped;
            return;
        }
        // The probe answers "unknown" for a file it cannot open; a file asked for by name
        // that cannot be read is reported as such instead.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) return add(path, describe(errno));
        ::close(fd);
        file(path);
    }

private:
    void add(const fs::path& path, std::string error = {}) {
        if (seen_.insert(path.native()).second) out_.files.push_back({path, std::move(error)});
    }

    void file(const fs::path& path) {
        if (UTTypeProbe::probe(path).isSupported) add(path);
        else ++out_.skipped;
    }

    // Depth first without recursion, so a deep tree cannot exhaust the stack.
    void walk(const fs::path& root) {
        std::vector<fs::path> pending{root};
        while (!pending.empty()) {
            const fs::path folder = std::move(pending.back());
            pending.pop_back();
            std::error_code ec;
            fs::directory_iterator it(folder, ec), end;
            // A folder that cannot be listed is reported, not silently left out.
            if (ec) {
                add(folder, ec.message());
                continue;
            }
            for (; it != end; it.increment(ec)) {
                throwIfCancelled(isCancelled_);
                const fs::path path = folder / it->path().filename();
                struct stat st {};
                if (::stat(path.c_str(), &st) != 0) { // a dangling or circular link
                    ++out_.skipped;
                } else if (S_ISDIR(st.st_mode)) {
                    if (visited_.insert({st.st_dev, st.st_ino}).second) pending.push_back(path);
                    else ++out_.skipped; // a link back into a folder already walked
                } else if (S_ISREG(st.st_mode)) {
                    file(path);
                } else {
                    ++out_.skipped;
                }
            }
            if (ec) add(folder, ec.message());
        }
    }

    ReportFiles& out_;
    const std::function<bool()>& isCancelled_;
    std::set<std::pair<dev_t, ino_t>> visited_;
    std::set<std::string> seen_;
};

} // namespace

ReportFiles collectReportFiles(const std::vector<fs::path>& arguments, const std::function<bool()>& isCancelled) {
    ReportFiles out;
    Collector collector(out, isCancelled);
    for (const auto& a : arguments) {
        throwIfCancelled(isCancelled);
        collector.argument(a);
    }
    std::sort(out.files.begin(), out.files.end(),
              [](const FoundFile& a, const FoundFile& b) { return a.path.native() < b.path.native(); });
    return out;
}

std::vector<fs::path> readFileList(const std::string& list) {
    std::ifstream file;
    if (list != "-") {
        file.open(list, std::ios::binary);
        if (!file) throw SystemError(errno, "cannot read " + list + ": " + describe(errno));
    }
    std::istream& in = list == "-" ? std::cin : file;
    std::vector<fs::path> paths;
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) paths.emplace_back(line);
    if (in.bad()) throw SystemError(EIO, "cannot read " + list + ": " + describe(EIO));
    return paths;
}

fs::path absoluteClean(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) absolute = path;
    fs::path out;
    for (const auto& part : absolute) {
        if (part == "." || part.empty()) continue;
        out /= part;
    }
    return out.empty() ? absolute : out;
}

} // namespace vaun::report
