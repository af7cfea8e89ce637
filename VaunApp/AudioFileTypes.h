#pragma once
// Which files the open dialog offers and a drop accepts: every type the desktop's MIME
// database files under "audio/", and every extension our own type table calls audio.
#include <QString>
#include <QStringList>

#include <filesystem>

namespace vaun {

// The name patterns, "*.wav" and so on, sorted and without duplicates.
QStringList audioFilePatterns();
// One dialog filter, "Audio files (*.aac *.ac3 …)".
QString audioFileNameFilter();
// Whether the file's name matches one of the patterns (case does not matter).
bool isAudioFileName(const QString& fileName);
// A local file name as the file system spells it (names need not be UTF-8), made absolute
// against the current folder.
std::filesystem::path localPath(const QString& fileName);

} // namespace vaun
