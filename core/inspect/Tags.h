#pragma once
// A file's descriptive tags (title, artist, album, …) as a user reads them, from the raw
// entries FFmpeg's demuxers give: ID3v1/v2, MP4 'ilst', Vorbis comments, RIFF INFO, AIFF
// text chunks.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vaun {

struct Tags {
    using List = std::vector<std::pair<std::string, std::string>>;

    static constexpr std::size_t maxTags = 256;
    static constexpr std::size_t maxValueBytes = 65536;

    // Keys lower-cased, ID3 and RIFF INFO identifiers FFmpeg leaves as they are given their
    // usual names; values valid UTF-8 (other 8-bit text read as Windows-1252), trimmed,
    // without control characters but tab and line breaks, cut to maxValueBytes at a
    // character boundary. Dropped: empty values, later entries of a key, the container's
    // technical entries (brands, handler, creation time, encoder delay) and what the record
    // shows elsewhere: an entry of `shownElsewhere` drops the tag of its key when the values
    // agree, or whatever its value when its own is empty. At most maxTags, in file order.
    static List clean(const List& raw, const List& shownElsewhere = {});
    // One value as `clean` leaves it (a chapter's title, say); empty when nothing is left.
    static std::string text(std::string_view raw);
};

} // namespace vaun
