#include "AudioFileTypes.h"

#include "inspect/TypeRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QRegularExpression>

namespace vaun {

QStringList audioFilePatterns() {
    QStringList patterns;
    for (const QMimeType& type : QMimeDatabase().allMimeTypes())
        if (type.name().startsWith(QLatin1String("audio/"))) patterns += type.globPatterns();
    for (const std::string& extension : TypeRegistry::extensions(UTTypeID::audio))
        patterns += QStringLiteral("*.") + QString::fromStdString(extension);
    for (QString& pattern : patterns) pattern = pattern.toLower();
    patterns.sort();
    patterns.removeDuplicates();
    return patterns;
}

QString audioFileNameFilter() {
    return QCoreApplication::translate("VaunAppDelegate", "Audio files (%1)").arg(audioFilePatterns().join(u' '));
}

bool isAudioFileName(const QString& fileName) {
    const QString name = fileName.section(QDir::separator(), -1);
    for (const QString& pattern : audioFilePatterns()) {
        const QRegularExpression glob(QRegularExpression::wildcardToRegularExpression(pattern),
                                      QRegularExpression::CaseInsensitiveOption);
        if (glob.match(name).hasMatch()) return true;
    }
    return false;
}

std::filesystem::path localPath(const QString& fileName) {
    return std::filesystem::path(QFile::encodeName(QFileInfo(fileName).absoluteFilePath()).toStdString());
}

} // namespace vaun
