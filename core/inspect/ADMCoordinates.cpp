#include "inspect/ADMCoordinates.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vaun {
namespace {

constexpr double kRadians = std::numbers::pi / 180.0;
constexpr double kEpsilon = 1e-10;
// Elevation in the polar world and in the cube where the room's upper edge meets the walls.
constexpr double kTopElevation = 30, kTopElevationInCube = 45;

struct Point {
    double x, y;
};

// The horizontal plane in six sectors, counter-clockwise, each between two speaker
// directions and the room corners (or wall centres) they sit at.
struct Sector {
    double from, to; // degrees, 0…360
    Point a, b;
};
constexpr Sector kSectors[] = {
    {0, 30, {0, 1}, {-1, 1}},       {30, 110, {-1, 1}, {-1, -1}}, {110, 180, {-1, -1}, {0, -1}},
    {180, 250, {0, -1}, {1, -1}},   {250, 330, {1, -1}, {1, 1}},  {330, 360, {1, 1}, {0, 1}},
};

double wrapped360(double degrees) {
    double a = std::fmod(degrees, 360.0);
    return a < 0 ? a + 360.0 : a;
}

// Where `azimuth` lies along a sector's edge, 0 at its start and 1 at its end: the tangent
// law between its two directions, then the equal-power angle of those gains.
double alongEdge(const Sector& s, double azimuth) {
    const double mid = (s.from + s.to) / 2, half = (s.to - s.from) / 2;
    const double t = std::tan((azimuth - mid) * kRadians) / std::tan(half * kRadians);
    const double g = 0.5 * (1 + t);
    return std::atan2(g, 1 - g) * 2 / std::numbers::pi;
}

double azimuthAt(const Sector& s, double along) {
    const double mid = (s.from + s.to) / 2, half = (s.to - s.from) / 2;
    const double left = std::cos(along * std::numbers::pi / 2), right = std::sin(along * std::numbers::pi / 2);
    return mid + std::atan(std::tan(half * kRadians) * (right - left) / (left + right)) / kRadians;
}

} // namespace

ADMCartesian ADMCoordinates::toCartesian(ADMPolar p) {
    double z = 0, radius = p.distance;
    const double elevation = std::fabs(p.elevation);
    if (elevation > kTopElevation) {
        const double inCube =
            kTopElevationInCube + (90 - kTopElevationInCube) * (elevation - kTopElevation) / (90 - kTopElevation);
        z = std::copysign(p.distance, p.elevation);
        radius = p.distance * std::tan((90 - inCube) * kRadians);
    } else {
        z = p.distance * std::tan(kTopElevationInCube * p.elevation / kTopElevation * kRadians);
    }
    const double azimuth = wrapped360(p.azimuth);
    for (const Sector& s : kSectors) {
        if (azimuth < s.from || azimuth > s.to) continue;
        const double f = alongEdge(s, azimuth);
        return {radius * (s.a.x + f * (s.b.x - s.a.x)), radius * (s.a.y + f * (s.b.y - s.a.y)), z};
    }
    return {0, radius, z};
}

ADMPolar ADMCoordinates::toPolar(ADMCartesian c) {
    if (std::fabs(c.x) < kEpsilon && std::fabs(c.y) < kEpsilon) {
        if (std::fabs(c.z) < kEpsilon) return {0, 0, 0};
        return {0, std::copysign(90.0, c.z), std::fabs(c.z)};
    }
    // (x, y) = r · (a + f · (b − a)): solved for r and r·f in the sector whose edge it meets.
    for (const Sector& s : kSectors) {
        const Point d{s.b.x - s.a.x, s.b.y - s.a.y};
        const double det = s.a.x * d.y - s.a.y * d.x;
        const double r = (c.x * d.y - c.y * d.x) / det;
        const double rf = (s.a.x * c.y - s.a.y * c.x) / det;
        if (r <= 0 || rf < -kEpsilon * r || rf > r * (1 + kEpsilon)) continue;
        double azimuth = azimuthAt(s, std::clamp(rf / r, 0.0, 1.0));
        if (azimuth > 180) azimuth -= 360;
        const double inCube = std::atan2(c.z, r) / kRadians;
        ADMPolar p;
        p.azimuth = azimuth;
        if (std::fabs(inCube) > kTopElevationInCube) {
            p.elevation = std::copysign(
                kTopElevation + (90 - kTopElevation) * (std::fabs(inCube) - kTopElevationInCube) / (90 - kTopElevationInCube),
                inCube);
            p.distance = std::fabs(c.z);
        } else {
            p.elevation = kTopElevation * inCube / kTopElevationInCube;
            p.distance = r;
        }
        return p;
    }
    return {0, 0, std::hypot(c.x, c.y, c.z)};
}

} // namespace vaun
