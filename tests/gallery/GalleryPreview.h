#pragma once
// The whole preview, through the real controller: a file loaded and analysed in both
// appearances, and the welcome, loading and error states.
#include <QString>

#include <filesystem>

namespace vaun {

// Writes preview-light.png, preview-dark.png (FILE loaded and analysed, or the error state
// when it cannot be opened), preview-welcome.png, preview-loading.png and preview-error.png
// into `out`; returns how many were written, or -1 when one could not be.
int renderPreviews(const std::filesystem::path& file, const QString& out);

} // namespace vaun
