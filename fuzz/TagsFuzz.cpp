// libFuzzer target: tag cleaning. The input is split at zero bytes into alternating keys and
// values; the first entry doubles as something the record shows elsewhere.
#include "Check.h"
#include "inspect/Tags.h"

#include <set>
#include <string_view>

using vaun::Tags;
using vaun::fuzz::isUTF8;
using vaun::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    Tags::List raw;
    std::string pending;
    bool haveKey = false;
    for (std::size_t at = 0; at <= input.size();) {
        const std::size_t end = std::min(input.find('\0', at), input.size());
        std::string part(input.substr(at, end - at));
        if (haveKey) raw.emplace_back(std::move(pending), std::move(part));
        else pending = std::move(part);
        haveKey = !haveKey;
        at = end + 1;
    }
    const Tags::List elsewhere = raw.empty() ? Tags::List{} : Tags::List{raw.front()};
    const Tags::List tags = Tags::clean(raw, elsewhere);
    require(tags.size() <= Tags::maxTags);
    std::set<std::string> keys;
    for (const auto& [key, value] : tags) {
        require(!key.empty() && keys.insert(key).second && isUTF8(key));
        require(!value.empty() && value.size() <= Tags::maxValueBytes && isUTF8(value));
        for (char c : key + value) require(std::uint8_t(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r');
        require(value.front() != ' ' && value.back() != ' ');
    }
    return 0;
}
