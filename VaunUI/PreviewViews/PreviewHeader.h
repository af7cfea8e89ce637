#pragma once
// The head of the loaded preview: cover tile, file name, container and size, format badges,
// and the button that opens another file where files can be opened.
#include "inspect/AudioMetadata.h"

#include <QWidget>

#include <functional>

namespace vaun {

class PreviewHeader : public QWidget {
    Q_OBJECT
public:
    // `openFile` empty: no open button.
    PreviewHeader(const AudioMetadata& metadata, const std::function<void()>& openFile, QWidget* parent = nullptr);

    // "<container> · <size>", the container left out when unknown.
    static QString subtitle(const AudioMetadata& metadata);
    // "ADM BWF · 12 tracks", "Dolby metadata", "RF64", in this order, for the flags set.
    static QStringList badges(const AudioMetadata& metadata);
};

} // namespace vaun
