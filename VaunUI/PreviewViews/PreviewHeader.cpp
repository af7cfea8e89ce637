#include "PreviewViews/PreviewHeader.h"

#include "PreviewViews/ArtworkView.h"
#include "PreviewViews/Badge.h"
#include "PreviewViews/GlassControl.h"
#include "PreviewViews/PreviewFormat.h"
#include "PreviewViews/PreviewText.h"
#include "Toolkit/Typography.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <memory>

namespace vaun {

QString PreviewHeader::subtitle(const AudioMetadata& metadata) {
    QStringList parts;
    if (metadata.containerDescription) parts << QString::fromStdString(*metadata.containerDescription);
    parts << format::fileSize(metadata.fileSizeBytes);
    return parts.join(QStringLiteral(" · "));
}

QStringList PreviewHeader::badges(const AudioMetadata& metadata) {
    QStringList badges;
    if (metadata.isADM) {
        badges << (metadata.admTrackCount ? tr("ADM BWF · %1 tracks").arg(*metadata.admTrackCount) : tr("ADM BWF"));
    }
    if (metadata.hasDolbyMetadata) badges << tr("Dolby metadata");
    if (metadata.isRF64) badges << tr("RF64");
    return badges;
}

PreviewHeader::PreviewHeader(const AudioMetadata& metadata, const std::function<void()>& openFile, QWidget* parent)
    : QWidget(parent) {
    auto row = std::make_unique<QHBoxLayout>();
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(14);

    auto artwork = std::make_unique<ArtworkView>();
    artwork->setFixedSize(ArtworkView::kSide, ArtworkView::kSide);
    artwork->setData(metadata.artworkData);
    row->addWidget(artwork.release(), 0, Qt::AlignVCenter);

    auto text = std::make_unique<QVBoxLayout>();
    text->setContentsMargins(0, 0, 0, 0);
    text->setSpacing(6);
    auto name = std::make_unique<PreviewText>(QString::fromStdString(metadata.fileName),
                                              systemFont(22, FontWeight::semibold), Tone::primary);
    name->setMaximumLines(2);
    name->setSelectable(true);
    name->setObjectName(QStringLiteral("fileName"));
    text->addWidget(name.release());
    // A take reads by its scene and take; music by its title and artist.
    if (const auto line = format::recordingLine(metadata) ? format::recordingLine(metadata) : format::tagLine(metadata)) {
        auto tags = std::make_unique<PreviewText>(*line, systemFont(TextStyle::subheadline, FontWeight::medium), Tone::primary);
        tags->setObjectName(QStringLiteral("fileTags"));
        text->addWidget(tags.release());
    }
    auto sub = std::make_unique<PreviewText>(subtitle(metadata), systemFont(TextStyle::subheadline), Tone::secondary);
    sub->setObjectName(QStringLiteral("fileSubtitle"));
    text->addWidget(sub.release());
    if (const QStringList names = badges(metadata); !names.isEmpty()) {
        auto strip = std::make_unique<QHBoxLayout>();
        strip->setContentsMargins(0, 0, 0, 0);
        strip->setSpacing(6);
        for (const QString& badge : names) strip->addWidget(std::make_unique<Badge>(badge).release(), 0, Qt::AlignVCenter);
        strip->addStretch(1);
        text->addLayout(strip.release());
    }
    row->addLayout(text.release());
    // Spacing is not added around spacers here, so the minimum carries the 14 points before it.
    row->addSpacerItem(std::make_unique<QSpacerItem>(8 + 14, 0, QSizePolicy::Expanding, QSizePolicy::Minimum).release());

    if (openFile) {
        auto open = std::make_unique<GlassControl>(false);
        open->setSymbol(QStringLiteral("folder"));
        open->setFixedSize(24, 24);
        // Ctrl is this desktop's command key.
        open->setToolTip(tr("Open another audio file (Ctrl+O)"));
        open->setAccessibleName(tr("Open audio file"));
        connect(open.get(), &GlassControl::clicked, this, [openFile] { openFile(); });
        row->addWidget(open.release(), 0, Qt::AlignVCenter);
    }
    setLayout(row.release());
}

} // namespace vaun
