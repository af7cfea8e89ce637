#include "inspect/ADMCommonDefinitions.h"

#include <algorithm>
#include <array>

namespace vaun {
namespace {

bool sameID(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
               return upper(x) == upper(y);
           });
}

// Only definitions whose IDs, labels and positions are certain; others stay unresolved.
const std::array<ADMCommonDefinitions::Channel, 19> kChannels = {{
    {"AC_00010001", "FrontLeft", "M+030", 30, 0},
    {"AC_00010002", "FrontRight", "M-030", -30, 0},
    {"AC_00010003", "FrontCentre", "M+000", 0, 0},
    {"AC_00010004", "LowFrequencyEffects", "LFE1", 0, -30},
    {"AC_00010005", "SurroundLeft", "M+110", 110, 0},
    {"AC_00010006", "SurroundRight", "M-110", -110, 0},
    {"AC_00010009", "BackCentre", "M+180", 180, 0},
    {"AC_0001000a", "SideLeft", "M+090", 90, 0},
    {"AC_0001000b", "SideRight", "M-090", -90, 0},
    {"AC_0001000d", "FrontLeftHigh", "U+030", 30, 30},
    {"AC_0001000f", "FrontRightHigh", "U-030", -30, 30},
    {"AC_00010010", "SurroundLeftHigh", "U+110", 110, 30},
    {"AC_00010012", "SurroundRightHigh", "U-110", -110, 30},
    {"AC_0001001c", "BackLeftMid", "M+135", 135, 0},
    {"AC_0001001d", "BackRightMid", "M-135", -135, 0},
    {"AC_0001001e", "TopBackLeftMid", "U+135", 135, 30},
    {"AC_0001001f", "TopBackRightMid", "U-135", -135, 30},
    {"AC_00010022", "TopFrontLeftMid", "U+045", 45, 30},
    {"AC_00010023", "TopFrontRightMid", "U-045", -45, 30},
}};

const std::array<ADMCommonDefinitions::Pack, 8> kPacks = {{
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
    {"AP_0001000f",
     "0+7+0",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_0001000a", "AC_0001000b", "AC_0001001c",
      "AC_0001001d"}},
    {"AP_00010016",
     "2+7+0",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_0001000a", "AC_0001000b", "AC_0001001c",
      "AC_0001001d", "AC_00010022", "AC_00010023"}},
    {"AP_00010017",
     "4+7+0",
     {"AC_00010001", "AC_00010002", "AC_00010003", "AC_00010004", "AC_0001000a", "AC_0001000b", "AC_0001001c",
      "AC_0001001d", "AC_00010022", "AC_00010023", "AC_0001001e", "AC_0001001f"}},
}};

} // namespace

const ADMCommonDefinitions::Channel* ADMCommonDefinitions::channel(std::string_view id) {
    const auto it = std::find_if(kChannels.begin(), kChannels.end(), [&](const Channel& c) { return sameID(c.id, id); });
    return it == kChannels.end() ? nullptr : &*it;
}

const ADMCommonDefinitions::Pack* ADMCommonDefinitions::pack(std::string_view id) {
    const auto it = std::find_if(kPacks.begin(), kPacks.end(), [&](const Pack& p) { return sameID(p.id, id); });
    return it == kPacks.end() ? nullptr : &*it;
}

std::optional<std::string> ADMCommonDefinitions::channelOf(std::string_view format) {
    // AT_00010003_01 and AS_00010003 both carry AC_00010003.
    if (format.size() < 11 || (!sameID(format.substr(0, 3), "AT_") && !sameID(format.substr(0, 3), "AS_")))
        return std::nullopt;
    const std::string id = "AC_" + std::string(format.substr(3, 8));
    if (const Channel* c = channel(id)) return std::string(c->id);
    return std::nullopt;
}

} // namespace vaun
