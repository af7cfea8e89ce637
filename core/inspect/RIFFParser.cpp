#include "inspect/RIFFParser.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace vaun {
namespace {

using Bytes = std::vector<std::uint8_t>;
// Bytes at `offset`: fewer at the end of the source, none past it.
using ReadAt = std::function<Bytes(std::uint64_t offset, std::uint64_t count)>;

constexpr std::uint64_t kMaxChunksVisited = 65536;
constexpr std::size_t kMaxListedIDs = 256;
constexpr std::uint64_t kUnknownSize = 0xFFFFFFFF;
constexpr std::uint64_t kHeaderBytes = 12;
constexpr std::uint64_t kRF64HeaderBytes = 36;

enum class ByteOrder { little, big };

std::uint32_t u32(const Bytes& bytes, std::size_t at, ByteOrder order) {
    const std::uint32_t b0 = bytes[at], b1 = bytes[at + 1], b2 = bytes[at + 2], b3 = bytes[at + 3];
    return order == ByteOrder::big ? (b0 << 24) | (b1 << 16) | (b2 << 8) | b3
                                   : b0 | (b1 << 8) | (b2 << 16) | (b3 << 24);
}

std::uint64_t u64(const Bytes& bytes, std::size_t at) {
    std::uint64_t value = 0;
    for (std::size_t i = 8; i-- > 0;) value = (value << 8) | bytes[at + i];
    return value;
}

bool ascii(const std::uint8_t* bytes, std::size_t count) {
    return std::all_of(bytes, bytes + count, [](std::uint8_t b) { return b >= 0x20 && b <= 0x7E; });
}

std::string text(const Bytes& bytes, std::size_t at, std::size_t count) {
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at + count));
}

// Broadcast-wave and ADM metadata, and the markers of WAVE ('cue ', 'smpl', 'LIST' of type
// 'adtl') and AIFF ('MARK', 'INST') files.
bool isMetadataChunk(const std::string& id) {
    return id == "bext" || id == "iXML" || id == "chna" || id == "cue " || id == "smpl" || id == "MARK" || id == "INST";
}

bool isAdtl(const Bytes& listType) { return listType.size() == 4 && text(listType, 0, 4) == "adtl"; }

std::optional<RIFFParser::Container> walk(std::uint64_t size, const RIFFParser::Options& options,
                                          bool metadataOnly, const CancellationTest& isCancelled,
                                          const ReadAt& read) {
    if (size < kHeaderBytes || options.maxChunkBytes < 0 || options.maxTotalBytes < 4) return std::nullopt;

    const Bytes header = read(0, kHeaderBytes);
    if (header.size() < kHeaderBytes) return std::nullopt;
    const std::string identifier = text(header, 0, 4);
    // AIFF's FORM is walked like RIFX: big-endian sizes, payloads padded to even lengths.
    const bool isForm = identifier == "FORM";
    if (identifier != "RIFF" && identifier != "RIFX" && identifier != "RF64" && !isForm) return std::nullopt;
    const bool isRF64 = identifier == "RF64";
    const ByteOrder order = identifier == "RIFX" || isForm ? ByteOrder::big : ByteOrder::little;

    std::uint64_t containerSize = u32(header, 4, order);
    if (!ascii(header.data() + 8, 4)) return std::nullopt;
    if (isForm && text(header, 8, 4) != "AIFF" && text(header, 8, 4) != "AIFC") return std::nullopt;

    std::uint64_t dataSize = kUnknownSize;
    if (isRF64) {
        if (size < kRF64HeaderBytes) return std::nullopt;
        const Bytes ds64 = read(12, 24);
        if (ds64.size() < 24 || text(ds64, 0, 4) != "ds64") return std::nullopt;
        containerSize = u64(ds64, 8);
        dataSize = u64(ds64, 16);
    }
    if (containerSize < 4) return std::nullopt;

    RIFFParser::Container container;
    container.formType = text(header, 8, 4);
    container.isRF64 = isRF64;

    // A hostile ds64 can declare a size within 8 of the 64-bit limit: such a container
    // cannot fit any source, so the walk ends at the source's end.
    const bool overflows = containerSize > std::numeric_limits<std::uint64_t>::max() - 8;
    const std::uint64_t end = overflows ? size : std::min(containerSize + 8, size);
    container.truncated = overflows || containerSize + 8 > size;

    std::int64_t remainingBudget = options.maxTotalBytes;
    std::uint64_t position = kHeaderBytes;
    std::uint64_t visited = 0;
    while (position < end) {
        throwIfCancelled(isCancelled);
        if (visited == kMaxChunksVisited || end - position < 8) {
            container.truncated = true;
            break;
        }
        const Bytes chunkHeader = read(position, 8);
        if (chunkHeader.size() < 8 || !ascii(chunkHeader.data(), 4)) {
            container.truncated = true;
            break;
        }
        std::string id = text(chunkHeader, 0, 4);
        std::uint64_t chunkSize = u32(chunkHeader, 4, order);
        if (chunkSize == kUnknownSize && id == "data") chunkSize = dataSize;

        if (container.chunkIDs.size() < kMaxListedIDs) container.chunkIDs.push_back(id);

        const std::uint64_t payloadStart = position + 8;
        if (chunkSize > end - payloadStart) {
            container.truncated = true;
            break;
        }

        const bool keep = !metadataOnly || isMetadataChunk(id) || (id == "LIST" && chunkSize >= 4 && isAdtl(read(payloadStart, 4)));
        if (keep) {
            const auto limit = static_cast<std::uint64_t>(std::min(remainingBudget, options.maxChunkBytes));
            if (chunkSize > limit) {
                container.truncated = true;
            } else {
                Bytes payload = read(payloadStart, chunkSize);
                if (payload.size() < chunkSize) {
                    container.truncated = true;
                    break;
                }
                remainingBudget -= static_cast<std::int64_t>(chunkSize);
                container.chunks.push_back({std::move(id), std::move(payload), position});
            }
        }

        // payloadStart + chunkSize <= end was checked above, so only the pad byte can pass the end.
        position = payloadStart + chunkSize;
        ++visited;
        if (chunkSize % 2 == 1) {
            if (position == end) {
                container.truncated = true;
                break;
            }
            ++position;
        }
    }
    return container;
}

// A read-only file descriptor, closed on every path once opened.
class FileHandle {
public:
    explicit FileHandle(const std::filesystem::path& path) : path_(path) {
        do {
            fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) fail("open");
    }
    ~FileHandle() { ::close(fd_); } // Nothing was written, so a failing close loses nothing.
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    std::uint64_t size() const {
        const off_t end = ::lseek(fd_, 0, SEEK_END);
        if (end < 0) fail("seek in");
        return static_cast<std::uint64_t>(end);
    }

    Bytes read(std::uint64_t offset, std::uint64_t count) const {
        constexpr auto maxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
        if (offset > maxOffset) return {};
        count = std::min(count, maxOffset - offset);
        Bytes bytes(static_cast<std::size_t>(count));
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::pread(fd_, bytes.data() + got, bytes.size() - got, static_cast<off_t>(offset + got));
            if (n < 0) {
                if (errno == EINTR) continue;
                fail("read");
            }
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        return bytes;
    }

private:
    [[noreturn]] void fail(const char* action) const {
        const int err = errno;
        throw SystemError(err, std::string("Cannot ") + action + " \"" + path_.string() + "\": " +
                                   std::generic_category().message(err));
    }

    std::filesystem::path path_;
    int fd_ = -1;
};

} // namespace

std::optional<RIFFParser::Container> RIFFParser::scan(const std::filesystem::path& url, const Options& options,
                                                      const CancellationTest& isCancelled) {
    throwIfCancelled(isCancelled);
    const FileHandle file(url);
    return walk(file.size(), options, true, isCancelled,
                [&file](std::uint64_t offset, std::uint64_t count) { return file.read(offset, count); });
}

std::optional<RIFFParser::Container> RIFFParser::parse(const std::vector<std::uint8_t>& data, const Options& options) {
    return parse(data.data(), data.size(), options);
}

std::optional<RIFFParser::Container> RIFFParser::parse(const std::uint8_t* data, std::size_t size,
                                                       const Options& options) {
    return walk(size, options, false, CancellationTest{}, [data, size](std::uint64_t offset, std::uint64_t count) {
        if (offset >= size) return Bytes{};
        const std::uint64_t available = std::min<std::uint64_t>(count, size - offset);
        return Bytes(data + offset, data + offset + available);
    });
}

} // namespace vaun
