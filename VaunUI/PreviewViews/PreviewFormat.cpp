#include "PreviewViews/PreviewFormat.h"

#include "PreviewViews/MeterBank.h"
#include "Toolkit/Typography.h"
#include "inspect/ChannelMap.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFontMetricsF>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>
#include <string_view>
#include <vector>

namespace vaun::format {
namespace {

const QString kDash = QStringLiteral("\u2014");
constexpr int kMaxMeterLabels = 24;
constexpr int kSpeakerLabelCharacters = 4;

// One piece of a QLocale date or time pattern: a field ("MMMM", "AP", "t") or literal text.
struct Token {
    QString text;
    bool field = false;
    bool quoted = false;
};

bool isFieldLetter(QChar c) {
    return QStringView(u"dMyhHmszaApPt").contains(c);
}

std::vector<Token> tokenize(const QString& pattern) {
    std::vector<Token> tokens;
    auto appendLiteral = [&tokens](QChar c) {
        if (tokens.empty() || tokens.back().field || tokens.back().quoted) tokens.push_back({});
        tokens.back().text += c;
    };
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i];
        if (c == u'\'') {
            // Quoted text is kept as written, quotes included.
            const qsizetype end = pattern.indexOf(u'\'', i + 1);
            const qsizetype stop = end < 0 ? pattern.size() : end + 1;
            tokens.push_back({pattern.mid(i, stop - i), false, true});
            i = stop;
        } else if (isFieldLetter(c)) {
            qsizetype j = i + 1;
            // "AP" and "ap" are one field, as is a run of one letter.
            if ((c == u'A' || c == u'a') && j < pattern.size() && pattern[j].toLower() == u'p') ++j;
            else
                while (j < pattern.size() && pattern[j] == c) ++j;
            tokens.push_back({pattern.mid(i, j - i), true, false});
            i = j;
        } else {
            appendLiteral(c);
            ++i;
        }
    }
    return tokens;
}

QString join(const std::vector<Token>& tokens) {
    QString out;
    for (const Token& t : tokens) out += t.text;
    return out.trimmed();
}

bool isSeparator(const Token& t) {
    if (t.field || t.quoted) return false;
    return std::all_of(t.text.begin(), t.text.end(), [](QChar c) {
        return c.isSpace() || c.isPunct() || c.category() == QChar::Other_Format;
    });
}

// Drops the fields `drop` selects together with the separator that tied each to its neighbour,
// so "dddd, MMMM d, yyyy" loses "dddd, " and "H:mm:ss (t)" loses " (t)".
template <typename Pred>
std::vector<Token> withoutFields(std::vector<Token> tokens, Pred drop) {
    for (std::size_t i = 0; i < tokens.size();) {
        if (!tokens[i].field || !drop(tokens[i].text)) {
            ++i;
            continue;
        }
        const bool before = i > 0 && isSeparator(tokens[i - 1]);
        const bool after = i + 1 < tokens.size() && isSeparator(tokens[i + 1]);
        if (before && after) {
            QString& open = tokens[i - 1].text;
            QString& close = tokens[i + 1].text;
            static const QString opening = QStringLiteral("([{"), closing = QStringLiteral(")]}");
            const QString trimmedOpen = open.trimmed();
            if (!trimmedOpen.isEmpty() && opening.contains(trimmedOpen.back()) && !close.isEmpty() &&
                closing.contains(close.front())) {
                open.chop(open.size() - open.lastIndexOf(trimmedOpen.back()));
                close.remove(0, 1);
            }
        }
        const bool firstField = std::none_of(tokens.begin(), tokens.begin() + std::ptrdiff_t(i),
                                             [](const Token& t) { return t.field; });
        tokens.erase(tokens.begin() + std::ptrdiff_t(i));
        if (firstField) {
            if (i < tokens.size() && isSeparator(tokens[i])) tokens.erase(tokens.begin() + std::ptrdiff_t(i));
        } else if (i > 0 && isSeparator(tokens[i - 1])) {
            tokens.erase(tokens.begin() + std::ptrdiff_t(i - 1));
            --i;
        }
        tokens.erase(std::remove_if(tokens.begin(), tokens.end(), [](const Token& t) { return t.text.isEmpty(); }),
                     tokens.end());
    }
    return tokens;
}

// The locale's long date without the weekday and with abbreviated month names.
QString abbreviatedDatePattern(const QLocale& locale) {
    auto tokens = withoutFields(tokenize(locale.dateFormat(QLocale::LongFormat)),
                                [](const QString& f) { return f.startsWith(u'd') && f.size() >= 3; });
    for (Token& t : tokens)
        if (t.field && t.text == QStringLiteral("MMMM")) t.text = QStringLiteral("MMM");
    return join(tokens);
}

// The locale's long time (to the second) without the time zone.
QString timePattern(const QLocale& locale) {
    return join(withoutFields(tokenize(locale.timeFormat(QLocale::LongFormat)),
                              [](const QString& f) { return f.startsWith(u't'); }));
}

// `value` with as few fraction digits as it needs, at most `maxFractionDigits`, grouped.
QString decimal(double value, int maxFractionDigits, const QLocale& locale) {
    const QString fixed = QString::asprintf("%.*f", maxFractionDigits, value);
    int digits = maxFractionDigits;
    while (digits > 0 && fixed[fixed.size() - (maxFractionDigits - digits) - 1] == u'0') --digits;
    return locale.toString(value, 'f', digits);
}

// The first `count` characters as a reader sees them (accents and pairs kept whole).
QString firstCharacters(const QString& text, int count) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (int i = 0; i < count && end >= 0 && end < text.size(); ++i) end = finder.toNextBoundary();
    return end < 0 ? text : text.left(end);
}

qsizetype characterCount(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() >= 0) ++count;
    return count;
}

// `label` in at most `count` characters; a trailing number is kept whole so that "Obj 12" and
// "Obj 13" stay apart.
QString cutLabel(const QString& label, int count) {
    qsizetype digits = 0;
    while (digits < label.size() && label[label.size() - 1 - digits].isDigit()) ++digits;
    if (digits > 0 && digits < label.size()) {
        if (digits >= count) return label.right(digits);
        QString head = label.left(label.size() - digits);
        head.removeIf([](QChar c) { return c.isSpace(); });
        return firstCharacters(head, int(count - digits)) + label.right(digits);
    }
    return firstCharacters(label, count).trimmed();
}

// Names longer than a speaker label ("LFE2") are elided in the middle until they fit one
// meter's slot, the narrowest place the labels go ("Atmos_Obj_3" → "A…3"); where not even that
// fits, cut with a trailing number kept whole.
QString fittedLabel(const QString& label, const QFontMetricsF& metrics, double room) {
    if (characterCount(label) <= kSpeakerLabelCharacters || metrics.horizontalAdvance(label) <= room) return label;
    // Numbered names keep their number whole ("Obj 13" → "O13"), others their ends ("A…3").
    const bool numbered = label.back().isDigit();
    const QString elided = metrics.elidedText(label, Qt::ElideMiddle, room);
    if (!numbered && characterCount(elided) >= 3) return elided;
    for (int count = kSpeakerLabelCharacters; count > 1; --count) {
        QString cut = cutLabel(label, count);
        if (metrics.horizontalAdvance(cut) <= room) return cut;
    }
    return characterCount(elided) >= 3 ? elided : cutLabel(label, 1);
}

} // namespace

QString time(std::optional<double> seconds) {
    if (!seconds || !std::isfinite(*seconds) || *seconds < 0) return kDash;
    // Beyond what a 64-bit count holds no file can last; keep the conversion defined.
    constexpr double kLimit = 9.0e18;
    const long long s = *seconds >= kLimit ? static_cast<long long>(kLimit) : static_cast<long long>(*seconds);
    if (s < 3600) return QString::asprintf("%lld:%02lld", s / 60, s % 60);
    return QString::asprintf("%lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60);
}

QString clock(double seconds, bool hours, bool tenths) {
    const auto count = static_cast<long long>(std::llround(std::max(seconds, 0.0) * 10));
    const long long s = count / 10;
    QString text = hours ? QString::asprintf("%lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60)
                         : QString::asprintf("%lld:%02lld", s / 60, s % 60);
    if (tenths) text += QString::asprintf(".%lld", count % 10);
    return text;
}

QStringList channelNames(const AudioMetadata& metadata) {
    QStringList names;
    // ADM names what each track carries, which the file's channel mask cannot.
    if (!metadata.admTrackLabels.empty()) {
        const auto n = std::min<std::size_t>(metadata.admTrackLabels.size(), kMaxMeterLabels);
        for (std::size_t i = 0; i < n; ++i) names << QString::fromStdString(metadata.admTrackLabels[i]);
        return names;
    }
    QStringList labels;
    if (!metadata.channelLabels.empty()) {
        for (const auto& label : metadata.channelLabels) {
            if (labels.size() == kMaxMeterLabels) break;
            labels << QString::fromStdString(label);
        }
    } else {
        // Past 24 the default labels are plain numbers, so a shorter list has the same first 24.
        const int count = std::min(metadata.channels.value_or(2), kMaxMeterLabels + 1);
        for (const std::string& label : ChannelMap::defaultLabels(count)) {
            if (labels.size() == kMaxMeterLabels) break;
            labels << QString::fromStdString(label);
        }
    }
    // A recorder's track names say which microphone is on which channel.
    for (const auto& track : metadata.tracks) {
        const auto i = qsizetype(track.channel - 1);
        if (i < 0 || i >= labels.size()) continue;
        if (track.name) labels[i] = QString::fromStdString(*track.name).simplified();
        else if (track.speaker) labels[i] = QString::fromStdString(*track.speaker);
    }
    return labels;
}

QStringList meterLabels(const AudioMetadata& metadata) {
    QStringList labels = channelNames(metadata);
    if (metadata.admTrackLabels.empty() && metadata.tracks.empty()) return labels;
    const MeterGeometry meters = MeterGeometry::forChannels(labels.size());
    // The meter labels' own font; a point of space stays between neighbours.
    const QFontMetricsF metrics(systemFont(meters.labelPoints, FontWeight::medium, FontDesign::rounded));
    const double room = meters.meterWidth + meters.gap - 1;
    for (QString& label : labels) label = fittedLabel(label, metrics, room);
    return labels;
}

QString sampleRateKHz(std::optional<double> hz, const QLocale& locale) {
    if (!hz || !std::isfinite(*hz)) return kDash;
    return QCoreApplication::translate("vaun::format", "%1 kHz").arg(decimal(*hz / 1000, 6, locale));
}

std::optional<QString> sampleRateHz(std::optional<double> hz, const QLocale& locale) {
    if (!hz || !std::isfinite(*hz)) return std::nullopt;
    return QCoreApplication::translate("vaun::format", "%1 Hz").arg(decimal(*hz, 6, locale));
}

std::optional<QString> kilobitsPerSecond(std::optional<std::int64_t> bitsPerSecond, const QLocale& locale) {
    if (!bitsPerSecond) return std::nullopt;
    return QCoreApplication::translate("vaun::format", "%1 kbps").arg(decimal(double(*bitsPerSecond) / 1000, 3, locale));
}

QString fileSize(std::int64_t bytes, const QLocale& locale) {
    return locale.formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString byteCount(std::int64_t bytes, const QLocale& locale) {
    return QCoreApplication::translate("vaun::format", "%1 bytes").arg(locale.toString(qlonglong(bytes)));
}

QString dateTime(AudioMetadata::Date date, const QLocale& locale) {
    using namespace std::chrono;
    const qint64 ms = duration_cast<milliseconds>(date.time_since_epoch()).count();
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
    //: Abbreviated date, then the time of day.
    return QCoreApplication::translate("vaun::format", "%1, %2")
        .arg(locale.toString(local.date(), abbreviatedDatePattern(locale)),
             locale.toString(local.time(), timePattern(locale)));
}

std::optional<QString> shortestSeconds(std::optional<double> seconds) {
    if (!seconds || !std::isfinite(*seconds)) return std::nullopt;
    char buffer[400];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, *seconds, std::chars_format::fixed);
    if (error != std::errc()) return std::nullopt;
    QString text = QString::fromLatin1(buffer, end - buffer);
    if (!text.contains(u'.')) text += QStringLiteral(".0");
    return QCoreApplication::translate("vaun::format", "%1 s").arg(text);
}

QString signedTenths(double value) {
    QString text = QString::asprintf("%.1f", value);
    if (text == QStringLiteral("-0.0")) return QStringLiteral("0.0");
    if (text.startsWith(u'-')) text.replace(0, 1, QChar(0x2212));
    return text;
}

namespace {

const std::string* tag(const AudioMetadata& metadata, std::string_view key) {
    for (const auto& [k, v] : metadata.tags)
        if (k == key) return &v;
    return nullptr;
}

} // namespace

std::optional<QString> storedLoudness(const BWFChunk& bwf) {
    QStringList parts;
    if (bwf.loudnessValue) parts << signedTenths(*bwf.loudnessValue) + QStringLiteral(" LUFS");
    if (bwf.loudnessRange) parts << QStringLiteral("LRA ") + signedTenths(*bwf.loudnessRange) + QStringLiteral(" LU");
    if (bwf.maxTruePeakLevel) parts << signedTenths(*bwf.maxTruePeakLevel) + QStringLiteral(" dBTP");
    if (bwf.maxMomentaryLoudness)
        parts << QCoreApplication::translate("vaun::format", "max. momentary %1 LUFS").arg(signedTenths(*bwf.maxMomentaryLoudness));
    if (bwf.maxShortTermLoudness)
        parts << QCoreApplication::translate("vaun::format", "max. short-term %1 LUFS").arg(signedTenths(*bwf.maxShortTermLoudness));
    if (parts.isEmpty()) return std::nullopt;
    return parts.join(QStringLiteral(" \u00B7 "));
}

std::optional<QString> tagLine(const AudioMetadata& metadata) {
    QStringList parts;
    for (const char* key : {"title", "artist", "album"})
        if (const std::string* value = tag(metadata, key)) parts << QString::fromStdString(*value).simplified();
    if (parts.isEmpty()) return std::nullopt;
    return parts.join(QStringLiteral(" \u00B7 "));
}

std::optional<QString> recordingLine(const AudioMetadata& metadata) {
    QStringList parts;
    const auto add = [&parts](const QString& format, const std::optional<std::string>& value) {
        if (value && !value->empty()) parts << format.arg(QString::fromStdString(*value).simplified());
    };
    add(QCoreApplication::translate("vaun::format", "Scene %1"), metadata.iXMLScene);
    if (metadata.iXMLTake && !metadata.iXMLTake->empty()) {
        const QString take = QString::fromStdString(*metadata.iXMLTake).simplified();
        parts << (metadata.iXMLCircled.value_or(false) ? QCoreApplication::translate("vaun::format", "Take %1 (circled)")
                                                       : QCoreApplication::translate("vaun::format", "Take %1"))
                             .arg(take);
    }
    add(QCoreApplication::translate("vaun::format", "Tape %1"), metadata.iXMLTape);
    if (parts.isEmpty()) return std::nullopt;
    return parts.join(QStringLiteral(" \u00B7 "));
}

std::optional<QString> tracksText(const AudioMetadata& metadata) {
    QStringList parts;
    for (const auto& track : metadata.tracks)
        if (track.name) parts << QString::number(track.channel) + u' ' + QString::fromStdString(*track.name).simplified();
    if (parts.isEmpty()) return std::nullopt;
    return parts.join(QStringLiteral(" \u00B7 "));
}

QString tagLabel(const std::string& key) {
    QString label = QString::fromStdString(key);
    label.replace(u'_', u' ');
    if (!label.isEmpty()) label[0] = label[0].toUpper();
    return label;
}

} // namespace vaun::format
