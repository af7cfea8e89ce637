#include "inspect/UTTypeProbe.h"

#include "inspect/MagicByteSniff.h"
#include "inspect/TypeRegistry.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace vaun {
namespace {

constexpr std::size_t kSniffBytes = 12;

// Text after the last dot of the last path component; empty when there is none.
std::string extensionOf(const std::filesystem::path& url) {
    const std::string name = url.filename().string();
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string requiredType(std::string_view identifier) {
    auto type = TypeRegistry::typeForIdentifier(identifier);
    if (!type) throw std::logic_error("type registry lacks " + std::string(identifier));
    return *type;
}

class ReadOnlyFile {
public:
    // Non-blocking, so that a FIFO without a writer reads as empty instead of hanging.
    explicit ReadOnlyFile(const std::filesystem::path& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)) {}
    ~ReadOnlyFile() {
        if (fd_ >= 0) ::close(fd_); // an error from closing changes nothing for a reader
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }

    // Up to `count` bytes from the start; a read error gives what arrived before it (none).
    std::size_t readHead(std::uint8_t* into, std::size_t count) const {
        std::size_t got = 0;
        while (got < count) {
            const ssize_t n = ::pread(fd_, into + got, count - got, off_t(got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return 0;
            if (n == 0) break;
            got += std::size_t(n);
        }
        return got;
    }

private:
    int fd_;
};

UTTypeProbe::Result unknown() { return {std::string(UTTypeID::data), "Unknown", false}; }

} // namespace

const std::vector<std::string>& UTTypeProbe::supportedIdentifiers() {
    static const std::vector<std::string> identifiers{
        std::string(UTTypeID::wav),
        std::string(UTTypeID::aiff),
        std::string(UTTypeID::aifc),
        std::string(UTTypeID::aac),
        requiredType(UTTypeID::coreAudioFormat),
        std::string(UTTypeID::mp3),
        std::string(UTTypeID::mpeg4Audio),
        requiredType(UTTypeID::flac),
    };
    return identifiers;
}

UTTypeProbe::Result UTTypeProbe::probe(const std::filesystem::path& url) {
    try {
        if (const auto type = TypeRegistry::typeForExtension(extensionOf(url), UTTypeID::data)) {
            const auto& supported = supportedIdentifiers();
            const bool isSupported = std::find(supported.begin(), supported.end(), *type) != supported.end() ||
                                     TypeRegistry::conforms(*type, UTTypeID::audio);
            return {*type, humanName(*type), isSupported};
        }
        const ReadOnlyFile file(url);
        if (!file.isOpen()) return unknown();
        std::array<std::uint8_t, kSniffBytes> head{};
        const std::size_t got = file.readHead(head.data(), head.size());
        if (const auto hit = MagicByteSniff::detect(head.data(), got)) return {hit->utType, hit->displayName, true};
        return unknown();
    } catch (const std::exception&) {
        // Out of memory while building a name: still an answer, never an error.
        return unknown();
    }
}

std::string UTTypeProbe::humanName(const std::string& type) {
    struct Name {
        std::string identifier;
        const char* name;
    };
    const std::array<Name, 6> names{{
        {std::string(UTTypeID::wav), "WAVE / BWF"},
        {std::string(UTTypeID::aiff), "AIFF"},
        {TypeRegistry::typeForIdentifier(UTTypeID::coreAudioFormat).value_or(""), "CAF"},
        {std::string(UTTypeID::mp3), "MP3"},
        {std::string(UTTypeID::mpeg4Audio), "MPEG-4 Audio"},
        {TypeRegistry::typeForIdentifier(UTTypeID::flac).value_or(""), "FLAC"},
    }};
    for (const auto& n : names)
        if (n.identifier == type) return n.name;
    return TypeRegistry::localizedDescription(type).value_or(type);
}

} // namespace vaun
