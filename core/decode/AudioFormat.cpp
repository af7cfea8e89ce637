#include "decode/AudioFormat.h"

namespace vaun {

std::string fourCCString(std::uint32_t code) {
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i) s[std::size_t(i)] = char((code >> (24 - 8 * i)) & 0xFF);
    return s;
}

} // namespace vaun
