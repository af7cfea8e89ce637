#include "inspect/ADMChunks.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <sys/types.h>
#include <memory>

namespace vaun {
namespace {

constexpr int kMaxChunks = 65536;
constexpr std::size_t kChnaHeader = 4, kChnaEntry = 40;

std::string fixedText(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    const auto end = text.find_last_not_of(std::string("\0 ", 2));
    text.resize(end == std::string::npos ? 0 : end + 1);
    if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    return text;
}

std::uint64_t little(const std::uint8_t* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

std::uint64_t big(const std::uint8_t* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | p[i];
    return value;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

class Reader {
public:
    explicit Reader(const std::filesystem::path& path) : file_(std::fopen(path.c_str(), "rb")) {
        if (!file_) throw SystemError(errno, "Cannot open " + path.string() + ": " + std::strerror(errno));
        if (::fseeko(file_.get(), 0, SEEK_END) != 0) fail();
        const off_t end = ::ftello(file_.get());
        if (end < 0) fail();
        size_ = static_cast<std::uint64_t>(end);
    }
    std::uint64_t size() const { return size_; }
    // Reads exactly `count` bytes at `offset`; false when the file ends first.
    bool readAt(std::uint64_t offset, std::uint8_t* into, std::size_t count) {
        if (offset > size_ || count > size_ - offset) return false;
        if (::fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) != 0) fail();
        if (std::fread(into, 1, count, file_.get()) != count) {
            if (std::ferror(file_.get())) fail();
            return false;
        }
        return true;
    }

private:
    [[noreturn]] void fail() { throw SystemError(errno, std::string("Cannot read the file: ") + std::strerror(errno)); }
    File file_;
    std::uint64_t size_ = 0;
};

} // namespace

std::optional<ChnaChunk> ChnaChunk::parse(const std::uint8_t* data, std::size_t size) {
    if (size < kChnaHeader) return std::nullopt;
    ChnaChunk chunk;
    chunk.trackCount = static_cast<int>(little(data, 2));
    // A short chunk keeps the entries it holds whole.
    const std::size_t uids = std::min<std::size_t>(little(data + 2, 2), (size - kChnaHeader) / kChnaEntry);
    for (std::size_t i = 0; i < uids; ++i) {
        const std::uint8_t* p = data + kChnaHeader + i * kChnaEntry;
        Entry entry{static_cast<int>(little(p, 2)), fixedText(p + 2, 12), fixedText(p + 14, 14), fixedText(p + 28, 11)};
        // Unused slots carry track index 0.
        if (entry.trackIndex > 0) chunk.entries.push_back(std::move(entry));
    }
    return chunk;
}

std::optional<ADMChunkReader::Result> ADMChunkReader::read(const std::filesystem::path& path,
                                                           std::int64_t maxAXMLBytes,
                                                           const CancellationTest& isCancelled) {
    Reader file(path);
    std::uint8_t header[12];
    if (!file.readAt(0, header, sizeof header) || std::memcmp(header + 8, "WAVE", 4) != 0) return std::nullopt;
    const std::string form(reinterpret_cast<const char*>(header), 4);
    const bool bigEndian = form == "RIFX";
    const bool sixtyFour = form == "RF64" || form == "BW64";
    if (form != "RIFF" && !bigEndian && !sixtyFour) return std::nullopt;
    const auto number = [&](const std::uint8_t* p, int bytes) { return bigEndian ? big(p, bytes) : little(p, bytes); };

    Result result;
    std::vector<std::pair<std::string, std::uint64_t>> table; // ds64 sizes of large chunks
    std::uint64_t offset = 12;
    for (int visited = 0; visited < kMaxChunks && offset <= file.size() && file.size() - offset >= 8; ++visited) {
        throwIfCancelled(isCancelled);
        std::uint8_t chunkHeader[8];
        if (!file.readAt(offset, chunkHeader, 8)) break;
        const std::string id(reinterpret_cast<const char*>(chunkHeader), 4);
        std::uint64_t size = number(chunkHeader + 4, 4);
        const std::uint64_t payload = offset + 8;
        if (sixtyFour && id == "ds64" && size >= 28) {
            std::uint8_t ds64[28];
            if (!file.readAt(payload, ds64, 28)) break;
            table.emplace_back("data", little(ds64 + 8, 8));
            const std::uint64_t entries = little(ds64 + 24, 4);
            for (std::uint64_t i = 0; i < entries && i < 256 && (i + 1) * 12 + 28 <= size; ++i) {
                std::uint8_t entry[12];
                if (!file.readAt(payload + 28 + i * 12, entry, 12)) break;
                table.emplace_back(std::string(reinterpret_cast<const char*>(entry), 4), little(entry + 4, 8));
            }
        } else if (sixtyFour && size == 0xFFFFFFFFu) {
            for (const auto& [tableID, tableSize] : table)
                if (tableID == id) size = tableSize;
        }
        const bool fits = payload <= file.size() && size <= file.size() - payload;
        if (id == "chna" && fits && size <= (1u << 20)) {
            std::vector<std::uint8_t> bytes(size);
            if (file.readAt(payload, bytes.data(), bytes.size())) result.chna = std::move(bytes);
        } else if (id == "axml") {
            if (!fits || size > static_cast<std::uint64_t>(std::max<std::int64_t>(maxAXMLBytes, 0))) {
                result.axmlOverLimit = true;
            } else {
                std::vector<std::uint8_t> bytes(size);
                if (file.readAt(payload, bytes.data(), bytes.size())) result.axml = std::move(bytes);
            }
        }
        if (!fits) break;
        offset = payload + size + (size & 1);
    }
    return result;
}

} // namespace vaun
