#pragma once
// ADM's allocentric cartesian positions (X right, Y front, Z up, the room as the cube −1…1)
// and polar ones, converted as ITU-R BS.2127 maps them: the room's corners are the speaker
// positions at ±30° and ±110°, its upper edge at 30° of elevation.
namespace vaun {

struct ADMPolar {
    double azimuth = 0;   // degrees, counter-clockwise from the front, −180 < azimuth ≤ 180
    double elevation = 0; // degrees above the ear plane
    double distance = 1;
};

struct ADMCartesian {
    double x = 0, y = 0, z = 0;
};

struct ADMCoordinates {
    static ADMPolar toPolar(ADMCartesian position);
    static ADMCartesian toCartesian(ADMPolar position);
};

} // namespace vaun
