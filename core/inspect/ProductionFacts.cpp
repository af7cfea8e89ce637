#include "inspect/ProductionFacts.h"

#include "inspect/RecorderNotes.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <string_view>

namespace vaun {
namespace {

constexpr std::array<std::string_view, 26> kSpeakers = {
    "L",   "R",   "C",   "LFE", "Ls",  "Rs",  "Lss", "Rss", "Lrs", "Rrs", "Lsr", "Rsr", "Lc",
    "Rc",  "Cs",  "Ts",  "Ltf", "Rtf", "Ctf", "Ltm", "Rtm", "Ltr", "Rtr", "Ctr", "Lw",  "Rw"};

std::optional<std::uint64_t> number(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    std::uint64_t value = 0;
    const char* end = text->data() + text->size();
    if (std::from_chars(text->data(), end, value).ptr != end) return std::nullopt;
    return value;
}

std::optional<bool> yesNo(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    std::string t = *text;
    std::transform(t.begin(), t.end(), t.begin(), [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; });
    if (t == "TRUE" || t == "YES" || t == "1" || t == "Y") return true;
    if (t == "FALSE" || t == "NO" || t == "0" || t == "N") return false;
    return std::nullopt;
}

template <typename T>
void orElse(std::optional<T>& field, std::optional<T> fallback) {
    if (!field && fallback) field = std::move(fallback);
}

std::optional<Timecode> timecode(const AudioMetadata& record, const std::optional<IXMLChunk>& ixml,
                                 const RecorderNotes& notes) {
    const double fileRate = record.sampleRateHz.value_or(0);
    std::optional<std::uint64_t> samples;
    double countedAt = fileRate;
    if (record.bwf) {
        samples = record.bwf->timeReferenceSamples;
    } else if (ixml) {
        const auto high = number(ixml->timestampSamplesHigh), low = number(ixml->timestampSamplesLow);
        if (low && *low <= UINT32_MAX && high.value_or(0) <= UINT32_MAX) samples = high.value_or(0) << 32 | *low;
        if (const auto rate = number(ixml->timestampSampleRate); rate && *rate > 0) countedAt = double(*rate);
    }
    std::optional<Timecode::ParsedRate> rate;
    if (ixml && ixml->timecodeRate) rate = Timecode::parseRate(*ixml->timecodeRate);
    bool dropFrame = false;
    if (rate) {
        const std::string flag = ixml->timecodeFlag.value_or("");
        dropFrame = flag == "DF" || (flag.empty() && rate->dropFrame.value_or(false));
    } else if (const auto speed = notes.value("SPEED")) {
        rate = Timecode::parseRate(*speed);
        if (rate) dropFrame = rate->dropFrame.value_or(false);
    }
    if (!samples || !rate) return std::nullopt;
    return Timecode::make(*samples, countedAt, rate->rate, dropFrame);
}

// Each track at the channel its INTERLEAVE_INDEX names; where no track has one, the recorder's
// channel numbers, else the list's order.
std::vector<AudioMetadata::Track> tracks(const AudioMetadata& record, const std::optional<IXMLChunk>& ixml,
                                         const RecorderNotes& notes, bool declaresLayout) {
    const int channels = record.channels.value_or(0);
    if (channels <= 0) return {};
    std::vector<AudioMetadata::Track> out(static_cast<std::size_t>(channels));
    for (int i = 0; i < channels; ++i) out[std::size_t(i)].channel = i + 1;
    bool named = false;
    const auto place = [&](std::uint64_t channel, const std::optional<std::string>& name,
                           const std::optional<std::string>& function) {
        if (channel < 1 || channel > std::uint64_t(channels)) return;
        auto& track = out[std::size_t(channel - 1)];
        if (track.name || track.function) return;
        track.name = name, track.function = function;
        if (function && !declaresLayout) track.speaker = ProductionFacts::speakerLabel(*function);
        named = named || name || function;
    };
    if (ixml && !ixml->tracks.empty()) {
        const auto& list = ixml->tracks;
        const bool interleaved = std::any_of(list.begin(), list.end(), [](const auto& t) { return number(t.interleaveIndex); });
        const bool numbered = std::any_of(list.begin(), list.end(), [](const auto& t) { return number(t.channelIndex); });
        for (std::size_t i = 0; i < list.size(); ++i) {
            const auto& t = list[i];
            const auto channel = interleaved ? number(t.interleaveIndex) : numbered ? number(t.channelIndex) : i + 1;
            if (channel) place(*channel, t.name, t.function);
        }
    } else {
        for (const auto& [channel, name] : notes.trackNames()) place(std::uint64_t(channel), name, std::nullopt);
    }
    return named ? out : std::vector<AudioMetadata::Track>{};
}

} // namespace

std::optional<std::string> ProductionFacts::speakerLabel(const std::string& function) {
    std::string_view f = function;
    if (const auto cut = f.find_first_of("-_ ("); cut != std::string_view::npos) f = f.substr(0, cut);
    const auto same = [](std::string_view a, std::string_view b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return (x | 0x20) == (y | 0x20);
               });
    };
    for (std::string_view speaker : kSpeakers)
        if (same(f, speaker)) return std::string(speaker);
    return std::nullopt;
}

void ProductionFacts::fill(AudioMetadata& record, const std::optional<IXMLChunk>& ixml, bool declaresLayout) {
    const RecorderNotes notes = record.bwf ? RecorderNotes::parse(record.bwf->description) : RecorderNotes{};
    if (ixml) {
        record.iXMLTake = ixml->take;
        record.iXMLCircled = yesNo(ixml->circled);
        record.iXMLUbits = ixml->ubits;
        record.iXMLFamilyUID = ixml->familyUID;
        record.iXMLSpeedNote = ixml->speedNote;
    }
    orElse(record.iXMLProject, notes.value("PROJECT"));
    orElse(record.iXMLScene, notes.value("SCENE"));
    orElse(record.iXMLTake, notes.value("TAKE"));
    orElse(record.iXMLTape, notes.value("TAPE"));
    orElse(record.iXMLNotes, notes.value("NOTE"));
    orElse(record.iXMLUbits, notes.value("UBITS"));
    orElse(record.iXMLCircled, yesNo(notes.value("CIRCLED")));
    record.timecode = timecode(record, ixml, notes);
    record.tracks = tracks(record, ixml, notes, declaresLayout);
}

} // namespace vaun
