// libFuzzer target: iXML decoding through the XML parser with its limits.
#include "Check.h"
#include "inspect/IXMLChunk.h"

#include <string_view>

using vaun::IXMLChunk;
using vaun::fuzz::isUTF8;
using vaun::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto chunk = IXMLChunk::parse(data, size);
    if (!chunk) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    require(text.find("BWFXML") != std::string_view::npos);
    for (const auto* field : {&chunk->project, &chunk->scene, &chunk->tape, &chunk->track, &chunk->notes}) {
        if (!*field) continue;
        const std::string& value = **field;
        require(!value.empty() && value.size() <= 65536 && isUTF8(value));
        require(value.find('\0') == std::string::npos);
        require(value.front() != ' ' && value.back() != ' ' && value.front() != '\n' && value.back() != '\n');
    }
    return 0;
}
