#include "inspect/ADMCommonDefinitions.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace vaun {
namespace {

bool sameID(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
               return upper(x) == upper(y);
           });
}

// Only definitions whose IDs, labels and positions are certain; others stay unresolved.
// The LFE labels are kept in their BS.2127 form: "LFE", "LFEL" and "LFER" read as LFE1, LFE1, LFE2.
const ADMCommonDefinitions::Channel kChannels[] = {
    {"AC_00010001", "FrontLeft", "M+030", 30, 0},
    {"AC_00010002", "FrontRight", "M-030", -30, 0},
    {"AC_00010003", "FrontCentre", "M+000", 0, 0},
    {"AC_00010004", "LowFrequencyEffects", "LFE1", 0, -30},
    {"AC_00010005", "SurroundLeft", "M+110", 110, 0},
    {"AC_00010006", "SurroundRight", "M-110", -110, 0},
    {"AC_00010007", "FrontLeftOfCentre", "M+022", 22, 0},
    {"AC_00010008", "FrontRightOfCentre", "M-022", -22, 0},
    {"AC_00010009", "BackCentre", "M+180", 180, 0},
    {"AC_0001000a", "SideLeft", "M+090", 90, 0},
    {"AC_0001000b", "SideRight", "M-090", -90, 0},
    {"AC_0001000c", "TopCentre", "T+000", 0, 90},
    {"AC_0001000d", "TopFrontLeft", "U+030", 30, 30},
    {"AC_0001000e", "TopFrontCentre", "U+000", 0, 30},
    {"AC_0001000f", "TopFrontRight", "U-030", -30, 30},
    {"AC_00010010", "TopSurroundLeft", "U+110", 110, 30},
    {"AC_00010011", "TopBackCentre", "U+180", 180, 30},
    {"AC_00010012", "TopSurroundRight", "U-110", -110, 30},
    {"AC_00010013", "TopSideLeft", "U+090", 90, 30},
    {"AC_00010014", "TopSideRight", "U-090", -90, 30},
    {"AC_00010015", "BottomFrontCentre", "B+000", 0, -30},
    {"AC_00010016", "BottomFrontLeftMid", "B+045", 45, -30},
    {"AC_00010017", "BottomFrontRightMid", "B-045", -45, -30},
    {"AC_00010018", "FrontLeftWide", "M+060", 60, 0},
    {"AC_00010019", "FrontRightWide", "M-060", -60, 0},
    {"AC_0001001a", "BackLeftMidDiffuse", "M+135_Diff", 135, 0},
    {"AC_0001001b", "BackRightMidDiffuse", "M-135_Diff", -135, 0},
    {"AC_0001001c", "BackLeftMid", "M+135", 135, 0},
    {"AC_0001001d", "BackRightMid", "M-135", -135, 0},
    {"AC_0001001e", "TopBackLeftMid", "U+135", 135, 30},
    {"AC_0001001f", "TopBackRightMid", "U-135", -135, 30},
    {"AC_00010020", "LowFrequencyEffectsL", "LFE1", 45, -30},
    {"AC_00010021", "LowFrequencyEffectsR", "LFE2", -45, -30},
    {"AC_00010022", "TopFrontLeftMid", "U+045", 45, 30},
    {"AC_00010023", "TopFrontRightMid", "U-045", -45, 30},
    // The screen speakers follow the screen edge when there is one; this is their place without.
    {"AC_00010024", "FrontLeftScreen", "M+SC", 25, 0},
    {"AC_00010025", "FrontRightScreen", "M-SC", -25, 0},
    {"AC_00010026", "FrontLeftMid", "M+045", 45, 0},
    {"AC_00010027", "FrontRightMid", "M-045", -45, 0},
    {"AC_00010028", "UpperTopBackCentre", "UH+180", 180, 45},
};

// Channel formats in the order the definitions give them; 3+7+0 and 9+10+3 do not start with L R.
const ADMCommonDefinitions::Pack kPacks[] = {
    {"AP_00010001", "mono", {"AC_00010003"}},
    {"AP_00010002", "stereo", {"AC_00010001", "AC_00010002"}},
    {"AP_00010003", "5.1", {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_00010005", "AC_00010006"}},
    {"AP_00010004",
     "2+5+0",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_00010005", "AC_00010006", "AC_0001000d",
      "AC_0001000f"}},
    {"AP_00010005",
     "4+5+0",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_00010005", "AC_00010006", "AC_0001000d",
      "AC_0001000f", "AC_00010010", "AC_00010012"}},
    {"AP_00010007",
     "3+7+0",
     {"AC_00010003", "AC_00010001", "AC_00010002", "AC_00010022", "AC_00010023", "AC_0001000a", "AC_0001000b",
      "AC_0001001c", "AC_0001001d", "AC_00010028", "AC_00010020", "AC_00010021"}},
    {"AP_00010008",
     "4+9+0",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_0001000a", "AC_0001000b", "AC_0001001c",
      "AC_0001001d", "AC_00010022", "AC_00010023", "AC_0001001e", "AC_0001001f", "AC_00010024", "AC_00010025"}},
    {"AP_00010009",
     "9+10+3",
     {"AC_00010018", "AC_00010019", "AC_00010003", "AC_00010020", "AC_0001001c", "AC_0001001d",
      "AC_00010001", "AC_00010002", "AC_00010009", "AC_00010021", "AC_0001000a", "AC_0001000b",
      "AC_00010022", "AC_00010023", "AC_0001000e", "AC_0001000c", "AC_0001001e", "AC_0001001f",
      "AC_00010013", "AC_00010014", "AC_00010011", "AC_00010015", "AC_00010016", "AC_00010017"}},
    {"AP_0001000a", "3.0", {"AC_00010001", "AC_00010002", "AC_00010003"}},
    {"AP_0001000b", "4.0", {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010009"}},
    {"AP_0001000c", "5.0", {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010005", "AC_00010006"}},
    {"AP_0001000d",
     "6.1",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_00010005", "AC_00010006", "AC_00010009"}},
    {"AP_0001000e",
     "7.1 front",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_00010005", "AC_00010006", "AC_00010026",
      "AC_00010027"}},
    {"AP_0001000f",
     "0+7+0",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_0001000a", "AC_0001000b", "AC_0001001c",
      "AC_0001001d"}},
    {"AP_00010010",
     "4+5+1",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_00010005", "AC_00010006", "AC_0001000d",
      "AC_0001000f", "AC_00010010", "AC_00010012", "AC_00010015"}},
    {"AP_00010011",
     "Auro-3D",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_00010005", "AC_00010006", "AC_0001000a",
      "AC_0001000b", "AC_0001001a", "AC_0001001b", "AC_0001000d", "AC_0001000f", "AC_0001000e", "AC_00010010",
      "AC_00010012", "AC_00010013", "AC_00010014", "AC_0001001e", "AC_0001001f"}},
    {"AP_00010012",
     "7.1 side",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_00010005", "AC_00010006", "AC_00010024",
      "AC_00010025"}},
    {"AP_00010013",
     "5.1.2 top side",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_00010005", "AC_00010006", "AC_00010013",
      "AC_00010014"}},
    {"AP_00010014",
     "9.1 screen",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_00010005", "AC_00010006", "AC_00010013",
      "AC_00010014", "AC_00010024", "AC_00010025"}},
    {"AP_00010015",
     "5.1.4 + screen",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_00010005", "AC_00010006", "AC_0001000d",
      "AC_0001000f", "AC_00010010", "AC_00010012", "AC_00010024", "AC_00010025"}},
    {"AP_00010016",
     "2+7+0",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_0001000a", "AC_0001000b", "AC_0001001c",
      "AC_0001001d", "AC_00010013", "AC_00010014"}},
    {"AP_00010017",
     "4+7+0",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_0001000a", "AC_0001000b", "AC_0001001c",
      "AC_0001001d", "AC_00010022", "AC_00010023", "AC_0001001e", "AC_0001001f"}},
};

} // namespace

const ADMCommonDefinitions::Channel* ADMCommonDefinitions::channel(std::string_view id) {
    const auto it =
        std::find_if(std::begin(kChannels), std::end(kChannels), [&](const Channel& c) { return sameID(c.id, id); });
    return it == std::end(kChannels) ? nullptr : &*it;
}

const ADMCommonDefinitions::Pack* ADMCommonDefinitions::pack(std::string_view id) {
    const auto it = std::find_if(std::begin(kPacks), std::end(kPacks), [&](const Pack& p) { return sameID(p.id, id); });
    return it == std::end(kPacks) ? nullptr : &*it;
}

namespace {

constexpr std::string_view kNormalizations[] = {"SN3D", "N3D", "FuMa"};

// The four hex digits after "XX_0004" (AC_0004xxxx, AP_0004xxxx), when that is the ID's shape.
std::optional<unsigned> hoaNumber(std::string_view id, std::string_view prefix) {
    if (id.size() != 11 || !sameID(id.substr(0, 7), prefix)) return std::nullopt;
    unsigned value = 0;
    for (char c : id.substr(7)) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return std::nullopt;
        value = value * 16 + unsigned(digit);
    }
    return value;
}

} // namespace

std::optional<ADMCommonDefinitions::HOA> ADMCommonDefinitions::hoaChannel(std::string_view id) {
    const auto value = hoaNumber(id, "AC_0004");
    if (!value || *value == 0 || (*value - 1) / 0x100 > 2) return std::nullopt;
    const int acn = int((*value - 1) % 0x100);
    const int order = int(std::sqrt(double(acn)) + 1e-9);
    return HOA{order, acn - order * order - order, kNormalizations[(*value - 1) / 0x100]};
}

std::optional<ADMCommonDefinitions::HOA> ADMCommonDefinitions::hoaPack(std::string_view id) {
    const auto value = hoaNumber(id, "AP_0004");
    if (!value || *value / 16 > 2 || *value % 16 < 1 || *value % 16 > 6) return std::nullopt;
    return HOA{int(*value % 16), 0, kNormalizations[*value / 16]};
}

std::optional<std::string> ADMCommonDefinitions::channelOf(std::string_view format) {
    // AT_00010003_01 and AS_00010003 both carry AC_00010003.
    if (format.size() < 11 || (!sameID(format.substr(0, 3), "AT_") && !sameID(format.substr(0, 3), "AS_")))
        return std::nullopt;
    const std::string id = "AC_" + std::string(format.substr(3, 8));
    if (const Channel* c = channel(id)) return std::string(c->id);
    if (hoaChannel(id)) return id;
    return std::nullopt;
}

} // namespace vaun
