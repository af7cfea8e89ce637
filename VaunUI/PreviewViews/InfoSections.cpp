#include "PreviewViews/InfoSections.h"

#include "PreviewViews/GlassControl.h"
#include "PreviewViews/InfoCells.h"
#include "PreviewViews/MarkersSection.h"
#include "PreviewViews/PreviewText.h"
#include "PreviewViews/PreviewFormat.h"
#include "Toolkit/DisclosureSection.h"
#include "Toolkit/SpinningProgress.h"
#include "Toolkit/Typography.h"
#include "inspect/RecorderNotes.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>

namespace vaun {
namespace {

constexpr int kStripPadding = 16;
constexpr int kProgressWidth = 140;
constexpr double kStripTextPoints = 12;
const QString kDash = QStringLiteral("\u2014");
const QString kMinusInfinity = QStringLiteral("\u2212\u221E");

QHBoxLayout& stripLayout(QWidget& strip) {
    auto layout = std::make_unique<QHBoxLayout>(&strip);
    layout->setContentsMargins(0, kStripPadding, 0, kStripPadding);
    layout->setSpacing(0);
    strip.setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return *layout.release();
}

// Cells with a divider between each two, each cell an equal share of the width.
void addCells(QHBoxLayout& layout, std::initializer_list<InfoCell*> cells) {
    bool first = true;
    for (InfoCell* cell : cells) {
        if (!first) layout.addWidget(std::make_unique<StripDivider>().release(), 0, Qt::AlignVCenter);
        layout.addWidget(cell, 1, Qt::AlignVCenter);
        first = false;
    }
}

// The cells ignore their own widths in the layout so that each gets the same share; the strip
// still asks for enough room to show every cell whole.
QSize stripSizeHint(const QWidget& strip) {
    QSize hint = strip.layout()->sizeHint();
    int widest = 0, count = 0;
    for (const InfoCell* cell : strip.findChildren<InfoCell*>()) {
        if (!cell->isVisibleTo(&strip)) continue;
        widest = std::max(widest, cell->sizeHint().width());
        ++count;
    }
    hint.rwidth() += widest * count;
    return hint;
}

std::optional<QString> text(const std::optional<std::string>& value) {
    if (!value) return std::nullopt;
    return QString::fromStdString(*value);
}

bool hasText(const std::optional<std::string>& value) { return value && !value->empty(); }

QString decibels(const std::optional<double>& value, const char* format, const QString& absent) {
    return value ? QString::asprintf(format, *value) : absent;
}

// "L -1.3  R -0.8": labels and values paired in order up to the shorter list.
std::optional<QString> truePeakPairs(const QStringList& labels, const std::optional<AudioAnalysis>& analysis) {
    if (!analysis || analysis->channelTruePeakDBTP.empty()) return std::nullopt;
    const auto& peaks = analysis->channelTruePeakDBTP;
    const qsizetype count = std::min<qsizetype>(labels.size(), qsizetype(peaks.size()));
    QStringList pairs;
    for (qsizetype i = 0; i < count; ++i) {
        const auto& peak = peaks[std::size_t(i)];
        pairs << labels[i] + u' ' + (peak && std::isfinite(*peak) ? QString::asprintf("%.1f", *peak) : kMinusInfinity);
    }
    return pairs.join(QStringLiteral("  "));
}

// The rows of one section, each created inside the section's content so that showing a row
// never opens a window of its own.
class RowStack {
public:
    RowStack() : content_(std::make_unique<QWidget>()), layout_(*std::make_unique<QVBoxLayout>(content_.get()).release()) {
        layout_.setContentsMargins(0, 0, 0, 0);
        layout_.setSpacing(10);
    }

    DetailRow* add(const QString& label, const std::optional<QString>& value) {
        DetailRow* added = row(label, value, content_.get());
        layout_.addWidget(added);
        return added;
    }

    QWidget& release() { return *content_.release(); }

private:
    std::unique_ptr<QWidget> content_;
    QVBoxLayout& layout_;
};

// Keeps a section's expanded state and a model switch equal, whichever side changes.
void bind(DisclosureSection& section, PreviewModel& model, bool (PreviewModel::*get)() const,
          void (PreviewModel::*set)(bool), void (PreviewModel::*changed)()) {
    section.setExpanded((model.*get)());
    QObject::connect(&section, &DisclosureSection::expandedChanged, &model, [&model, set](bool on) { (model.*set)(on); });
    QObject::connect(&model, changed, &section, [&section, &model, get] { section.setExpanded((model.*get)()); });
}

DisclosureSection& section(const QString& title, const QString& symbol, QWidget& content) {
    auto section = std::make_unique<DisclosureSection>(title, symbol);
    section->setContentSpacing(12);
    section->setContent(&content);
    return *section.release();
}

} // namespace

// --- facts -------------------------------------------------------------------------------------

FactsStrip::FactsStrip(const AudioMetadata& metadata, QWidget* parent) : QWidget(parent) {
    const QString bitDepth = metadata.bitDepth ? tr("%1-bit").arg(*metadata.bitDepth) : kDash;
    QString channels = kDash;
    if (metadata.channels) {
        const int n = *metadata.channels;
        channels = n == 1 ? tr("Mono") : n == 2 ? tr("Stereo") : tr("%1 channels").arg(n);
    }
    addCells(stripLayout(*this), {fact(tr("Duration"), format::time(metadata.durationSeconds)),
                                  fact(tr("Sample rate"), format::sampleRateKHz(metadata.sampleRateHz)),
                                  fact(tr("Bit depth"), bitDepth), fact(tr("Channels"), channels)});
}

QSize FactsStrip::sizeHint() const { return stripSizeHint(*this); }

void FactsStrip::paintEvent(QPaintEvent*) { paintStripBackground(*this); }

// --- loudness ----------------------------------------------------------------------------------

LoudnessStrip::LoudnessStrip(PreviewModel& model, std::function<void()> measure, QWidget* parent)
    : QWidget(parent), model_(model), measure_(std::move(measure)), layout_(&stripLayout(*this)) {
    setAccessibleName(tr("Loudness"));
    connect(&model_, &PreviewModel::analysisChanged, this, [this] { refresh(true); });
    connect(&model_, &PreviewModel::analysisProgressChanged, this, [this] { refresh(false); });
    connect(&model_, &PreviewModel::analysisDeferredChanged, this, [this] { refresh(false); });
    refresh(true);
}

QSize LoudnessStrip::sizeHint() const { return stripSizeHint(*this); }

void LoudnessStrip::paintEvent(QPaintEvent*) { paintStripBackground(*this); }

void LoudnessStrip::refresh(bool analysisChanged) {
    const State next = model_.analysis()           ? State::result
                       : model_.analysisProgress() ? State::progress
                       : model_.analysisDeferred() ? State::deferred
                                                   : State::none;
    if (next == state_ && !(next == State::result && analysisChanged)) {
        if (next == State::progress) showProgress(*model_.analysisProgress());
        return;
    }
    if (content_) {
        // Later: the request button may be what is being clicked right now.
        layout_->removeWidget(content_);
        content_->hide();
        content_->deleteLater();
    }
    state_ = next;
    switch (next) {
    case State::result: content_ = buildResult(*model_.analysis()); break;
    case State::progress: content_ = buildProgress(); break;
    case State::deferred: content_ = buildDeferred(); break;
    case State::none: content_ = nullptr; break;
    }
    if (content_) layout_->addWidget(content_, 1);
    if (next == State::progress) showProgress(*model_.analysisProgress());
}

QWidget* LoudnessStrip::buildResult(const AudioAnalysis& analysis) {
    auto content = std::make_unique<QWidget>();
    auto& layout = *std::make_unique<QHBoxLayout>(content.get()).release();
    layout.setContentsMargins(0, 0, 0, 0);
    layout.setSpacing(0);
    const auto truePeak = analysis.truePeakDBTP;
    const auto samplePeak = analysis.samplePeakDBFS;
    addCells(layout, {
        fact(tr("Integrated"), decibels(analysis.integratedLUFS, "%.1f LUFS", tr("Below gate"))),
        level(tr("True peak"), decibels(truePeak, "%.1f dBTP", kMinusInfinity), truePeak && *truePeak > -1,
              truePeak && *truePeak > 0),
        fact(tr("Loudness range"), decibels(analysis.loudnessRangeLU, "%.1f LU", kDash)),
        // A sample peak never warns: only full scale matters for it.
        level(tr("Sample peak"), decibels(samplePeak, "%.1f dBFS", kMinusInfinity), false,
              samplePeak && *samplePeak >= -0.0001),
    });
    return content.release();
}

QWidget* LoudnessStrip::buildProgress() {
    auto content = std::make_unique<QWidget>();
    auto& layout = *std::make_unique<QHBoxLayout>(content.get()).release();
    layout.setContentsMargins(0, 0, 0, 0);
    layout.setSpacing(10);
    auto bar = std::make_unique<LinearProgress>();
    bar->setFixedWidth(kProgressWidth);
    bar_ = bar.get();
    progressText_ = std::make_unique<PreviewText>(QString(), systemFont(kStripTextPoints), Tone::secondary).release();
    layout.addStretch(1);
    layout.addWidget(bar.release(), 0, Qt::AlignVCenter);
    layout.addWidget(progressText_, 0, Qt::AlignVCenter);
    layout.addStretch(1);
    return content.release();
}

void LoudnessStrip::showProgress(double fraction) {
    if (!bar_ || !progressText_) return;
    const double p = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    bar_->setValue(p);
    progressText_->setFullText(tr("Measuring loudness\u2026 %1%").arg(QString::asprintf("%lld", static_cast<long long>(p * 100))));
}

QWidget* LoudnessStrip::buildDeferred() {
    auto content = std::make_unique<QWidget>();
    auto& layout = *std::make_unique<QHBoxLayout>(content.get()).release();
    layout.setContentsMargins(0, 0, 0, 0);
    layout.setSpacing(12);
    auto note = std::make_unique<PreviewText>(tr("Loudness is measured on request for long files."), systemFont(kStripTextPoints), Tone::secondary);
    auto button = std::make_unique<GlassControl>(tr("Measure loudness"), false);
    connect(button.get(), &QAbstractButton::clicked, this, [this] {
        if (measure_) measure_();
    });
    layout.addStretch(1);
    layout.addWidget(note.release(), 0, Qt::AlignVCenter);
    layout.addWidget(button.release(), 0, Qt::AlignVCenter);
    layout.addStretch(1);
    return content.release();
}

// --- details -----------------------------------------------------------------------------------

DetailsSections::DetailsSections(PreviewModel& model, const AudioMetadata& metadata,
                                 std::shared_ptr<const MarkerTimeline> markers, std::function<void(double)> seek,
                                 QWidget* parent)
    : QWidget(parent) {
    auto& layout = *std::make_unique<QVBoxLayout>(this).release();
    layout.setContentsMargins(4, 0, 4, 0);
    layout.setSpacing(16);
    // Height beyond what the rows need stays below them instead of spreading them apart.
    layout.addStretch(1);

    // Track names are given whole: a row has the room a meter lacks.
    const QStringList labels = metadata.tracks.empty() ? format::meterLabels(metadata) : format::channelNames(metadata);
    std::optional<QString> channelLabels;
    if (!metadata.channelLabels.empty()) {
        QStringList all;
        for (const auto& label : metadata.channelLabels) all << QString::fromStdString(label);
        channelLabels = all.join(u' ');
    }
    std::optional<QString> adm;
    if (metadata.isADM) {
        adm = tr("ADM BWF (axml + chna)");
        if (metadata.admTrackCount) *adm += tr(", %1 tracks").arg(*metadata.admTrackCount);
    }
    auto dateRow = [](const std::optional<AudioMetadata::Date>& date) -> std::optional<QString> {
        if (!date) return std::nullopt;
        return format::dateTime(*date);
    };

    RowStack fileRows;
    fileRows.add(tr("Duration"),
                 metadata.durationSeconds
                     ? std::optional(tr("%1 seconds").arg(QString::asprintf("%.6f", *metadata.durationSeconds)))
                     : std::nullopt);
    fileRows.add(tr("Sample rate"), format::sampleRateHz(metadata.sampleRateHz));
    fileRows.add(tr("Bit depth"),
                 metadata.bitDepth ? tr("%1-bit").arg(*metadata.bitDepth) : tr("Not specified / not applicable"));
    fileRows.add(tr("Channel layout"), text(metadata.channelLayoutName).value_or(tr("Not specified by file")));
    fileRows.add(tr("Channels"), channelLabels);
    DetailRow* truePeaks = fileRows.add(tr("True peak per channel"), truePeakPairs(labels, model.analysis()));
    connect(&model, &PreviewModel::analysisChanged, truePeaks,
            [truePeaks, &model, labels] { truePeaks->setValue(truePeakPairs(labels, model.analysis())); });
    fileRows.add(tr("ADM"), adm);
    fileRows.add(tr("ADM programme"), text(metadata.admProgramme));
    if (!metadata.admOtherProgrammes.empty()) {
        QStringList others;
        for (const auto& name : metadata.admOtherProgrammes) others << QString::fromStdString(name);
        fileRows.add(tr("Other programmes"), others.join(QStringLiteral(" \u00B7 ")));
    }
    fileRows.add(tr("ADM content"), text(metadata.admContent));
    fileRows.add(tr("Codec"), text(metadata.codec));
    fileRows.add(tr("Codec profile"), text(metadata.codecProfile));
    fileRows.add(tr("Bit rate"), format::kilobitsPerSecond(metadata.bitRate));
    fileRows.add(tr("Container"), text(metadata.containerDescription));
    fileRows.add(tr("File size"), format::byteCount(metadata.fileSizeBytes));
    fileRows.add(tr("Created"), dateRow(metadata.creationDate));
    fileRows.add(tr("Modified"), dateRow(metadata.modificationDate));
    auto& file = section(tr("File details"), QStringLiteral("info.circle"), fileRows.release());
    bind(file, model, &PreviewModel::showFileDetails, &PreviewModel::setShowFileDetails,
         &PreviewModel::showFileDetailsChanged);
    layout.insertWidget(0, &file);

    int next = 1;
    const bool recording = metadata.bwf || hasText(metadata.iXMLProject) || hasText(metadata.iXMLScene) ||
                           hasText(metadata.iXMLTape) || hasText(metadata.iXMLTrack) || hasText(metadata.iXMLNotes) ||
                           hasText(metadata.iXMLTake) || hasText(metadata.iXMLSpeedNote) || !metadata.tracks.empty();
    if (recording) {
        RowStack rows;
        // A description made of a recorder's key=value lines is read out into the rows below;
        // its raw text stays at the end.
        const bool recorderLines = metadata.bwf && RecorderNotes::parse(metadata.bwf->description).onlyEntries;
        if (const auto& bwf = metadata.bwf) {
            if (!recorderLines) rows.add(tr("Description"), QString::fromStdString(bwf->description).trimmed());
            rows.add(tr("Originator"), QString::fromStdString(bwf->originator));
            rows.add(tr("Reference"), QString::fromStdString(bwf->originatorReference));
            // Shown even when both parts are empty: the joined text still holds the space.
            rows.add(tr("Recorded"), QString::fromStdString(bwf->originationDate + " " + bwf->originationTime));
            rows.add(tr("BWF version"), QString::number(bwf->version));
            rows.add(tr("Sample reference"), QString::number(bwf->timeReferenceSamples));
            rows.add(tr("Time reference"), format::shortestSeconds(metadata.bwfTimeReferenceSeconds));
        }
        if (metadata.timecode) rows.add(tr("Timecode"), QString::fromStdString(metadata.timecode->summary()));
        if (const auto& bwf = metadata.bwf) {
            rows.add(tr("UMID"), text(bwf->umid));
            rows.add(tr("Coding history"), QString::fromStdString(bwf->codingHistory));
            rows.add(tr("Stored loudness"), format::storedLoudness(*bwf));
        }
        rows.add(tr("Project"), text(metadata.iXMLProject));
        rows.add(tr("Scene"), text(metadata.iXMLScene));
        rows.add(tr("Take"), text(metadata.iXMLTake));
        if (metadata.iXMLCircled) rows.add(tr("Circled"), *metadata.iXMLCircled ? tr("Yes") : tr("No"));
        rows.add(tr("Tape"), text(metadata.iXMLTape));
        rows.add(tr("Track"), text(metadata.iXMLTrack));
        rows.add(tr("Tracks"), format::tracksText(metadata));
        rows.add(tr("Notes"), text(metadata.iXMLNotes));
        rows.add(tr("Speed note"), text(metadata.iXMLSpeedNote));
        rows.add(tr("User bits"), text(metadata.iXMLUbits));
        rows.add(tr("File family"), text(metadata.iXMLFamilyUID));
        if (recorderLines) rows.add(tr("Recorder lines"), QString::fromStdString(metadata.bwf->description).trimmed());
        auto& recorded = section(tr("Recording metadata"), QStringLiteral("waveform.badge.mic"), rows.release());
        bind(recorded, model, &PreviewModel::showRecordingMetadata, &PreviewModel::setShowRecordingMetadata,
             &PreviewModel::showRecordingMetadataChanged);
        layout.insertWidget(next++, &recorded);
    }

    if (!metadata.tags.empty()) {
        RowStack rows;
        for (const auto& [key, value] : metadata.tags) rows.add(format::tagLabel(key), QString::fromStdString(value));
        auto& tags = section(tr("Tags"), QStringLiteral("tag"), rows.release());
        bind(tags, model, &PreviewModel::showTags, &PreviewModel::setShowTags, &PreviewModel::showTagsChanged);
        layout.insertWidget(next++, &tags);
    }

    if (markers && markers->size() > 0) {
        auto& markerSection = *std::make_unique<MarkersSection>(std::move(markers), std::move(seek)).release();
        bind(markerSection, model, &PreviewModel::showMarkers, &PreviewModel::setShowMarkers,
             &PreviewModel::showMarkersChanged);
        layout.insertWidget(next, &markerSection);
    }
}

} // namespace vaun
