#pragma once
// The application's own pictures, loaded from the Qt resources once and kept for the life of
// the process. Every resource PNG is drawn at two pixels per point, so the images carry a
// device pixel ratio of 2. QImage (not QPixmap) so they may be read from any thread.
#include <QImage>
#include <QString>

#include <optional>

namespace vaun::VaunArt {

// The PNG resource of that name (":/art/<name>.png"), or nothing when missing or unreadable.
std::optional<QImage> image(const QString& name);
// Any PNG file, treated like a resource: nothing when unreadable, size halved into points.
std::optional<QImage> load(const QString& path);

const std::optional<QImage>& artworkLight(); // "artwork-light"
const std::optional<QImage>& artworkDark();  // "artwork-dark"
const std::optional<QImage>& plateLight();   // "meter-plate-light"
const std::optional<QImage>& plateDark();    // "meter-plate-dark"

} // namespace vaun::VaunArt
