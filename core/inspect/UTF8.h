#pragma once
// Strict UTF-8 validation and Latin-1 widening for text read out of file metadata.
// Overlong forms, surrogates and code points above U+10FFFF are invalid.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vaun::utf8 {

// Length of the well-formed sequence starting at `text[at]` (at < size), or 0 when it is
// not one; `codePoint` receives the decoded value.
inline std::size_t sequenceAt(const std::uint8_t* text, std::size_t size, std::size_t at,
                              char32_t& codePoint) {
    const std::uint8_t lead = text[at];
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, smallest = 0x10000;
    } else {
        return 0;
    }
    if (size - at < length) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const std::uint8_t next = text[at + k];
        if ((next & 0xC0) != 0x80) return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    codePoint = value;
    return length;
}

inline bool isValid(const std::uint8_t* text, std::size_t size) {
    for (std::size_t at = 0; at < size;) {
        char32_t ignored = 0;
        const std::size_t length = sequenceAt(text, size, at, ignored);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

// Every byte is the ISO 8859-1 character of the same value, so this cannot fail.
inline std::string fromLatin1(const std::uint8_t* text, std::size_t size) {
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t byte = text[i];
        if (byte < 0x80) {
            out.push_back(static_cast<char>(byte));
        } else {
            out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return out;
}

// Windows-1252, the 8-bit text most tag writers meant: Latin-1 with typographic marks in
// 0x80-0x9F (its five unassigned bytes are kept as the Latin-1 control of the same value).
inline std::string fromWindows1252(const std::uint8_t* text, std::size_t size) {
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t byte = text[i];
        const char32_t c = byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

} // namespace vaun::utf8
