#pragma once
// How the preview writes values: durations, channel labels, rates, sizes and dates. The
// records carry raw values; every text a user reads about them is made here, numbers, sizes
// and dates in the locale given (the system locale in the application).
#include "inspect/AudioMetadata.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

namespace vaun::format {

// "—" when absent, not finite or negative; else m:ss below an hour ("3:07"), h:mm:ss above
// ("1:02:03"), whole seconds truncated.
QString time(std::optional<double> seconds);

// "1:30", "1:30.5", "0:01:30": m:ss, or h:mm:ss when `hours`, with tenths when `tenths`;
// rounded to the tenth, negative times read as 0.
QString clock(double seconds, bool hours, bool tenths);

// What each channel is, at most 24: the ADM track labels, else the file's channel labels (or
// the default labels for its channel count, 2 when absent) with a recorder's track names, or
// the speakers its track functions name, in their place.
QStringList channelNames(const AudioMetadata& metadata);
// The labels of the meters and lanes: channelNames, names cut to fit under a meter
// ("Dialogue" → "Dial", "Obj 13" → "O13", a trailing number kept whole).
QStringList meterLabels(const AudioMetadata& metadata);

// "48 kHz", "44.1 kHz"; "—" when absent.
QString sampleRateKHz(std::optional<double> hz, const QLocale& locale = QLocale());
// "48,000 Hz"; absent when absent.
std::optional<QString> sampleRateHz(std::optional<double> hz, const QLocale& locale = QLocale());
// "320 kbps", "1,411.2 kbps": at most three fraction digits; absent when absent.
std::optional<QString> kilobitsPerSecond(std::optional<std::int64_t> bitsPerSecond, const QLocale& locale = QLocale());
// "1.2 MB": decimal units, as file managers show sizes.
QString fileSize(std::int64_t bytes, const QLocale& locale = QLocale());
// "1,234,567 bytes".
QString byteCount(std::int64_t bytes, const QLocale& locale = QLocale());
// Abbreviated date with the time to the second, in the local time zone: "Dec 7, 2026,
// 6:11:05 PM" in English.
QString dateTime(AudioMetadata::Date date, const QLocale& locale = QLocale());
// "3600.0 s", "3600.5 s": the shortest digits that read back to the same value, always with a
// fraction; absent when absent or not finite.
std::optional<QString> shortestSeconds(std::optional<double> seconds);

// "−23.0": one decimal and a minus sign, not a hyphen, as in the loudness texts of EBU R 128.
QString signedTenths(double value);
// "−23.0 LUFS · LRA 5.0 LU · −1.0 dBTP", then the maximum momentary and short-term loudness:
// the parts a bext chunk stores; absent when it stores none.
std::optional<QString> storedLoudness(const BWFChunk& bwf);

// "Title · Artist · Album", those the tags hold; absent when none.
std::optional<QString> tagLine(const AudioMetadata& metadata);
// "Scene A101 · Take 1 (circled) · Tape 18Y12M31", those known; absent when none is.
std::optional<QString> recordingLine(const AudioMetadata& metadata);
// "1 MKH516 A · 2 Boom": the named tracks by channel; absent when none is named.
std::optional<QString> tracksText(const AudioMetadata& metadata);
// A tag's row label: "Album artist" for "album_artist", "Title" for "title".
QString tagLabel(const std::string& key);

} // namespace vaun::format
