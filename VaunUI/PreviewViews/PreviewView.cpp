#include "PreviewViews/PreviewView.h"

#include "PreviewViews/EmptyState.h"
#include "PreviewViews/InfoSections.h"
#include "PreviewViews/MarkerTimeline.h"
#include "PreviewViews/PlayerCard.h"
#include "PreviewViews/PreviewHeader.h"
#include "PreviewViews/PreviewText.h"

#include <QEvent>
#include <QKeySequence>
#include <QPointer>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>

namespace vaun {
namespace {

constexpr double kStandardDisplayHeight = 132;
constexpr double kMaximumDisplayHeight = 264;
constexpr double kLaneHeight = 22;
constexpr float kQuietPeak = 0.25f;
constexpr float kMaximumGain = 31.6f;
constexpr int kColumnMaximumWidth = 900;
constexpr int kColumnPadding = 28;
constexpr int kColumnSpacing = 24;
constexpr double kSeekStepSeconds = 5;
// Stepping back from just after a marker, as right after a jump to it, passes it by.
constexpr double kMarkerStepBackSlackSeconds = 0.25;

// Takes a page out of the tree now and deletes it later: the click that led here may have
// come from one of its buttons.
void retire(QWidget* widget) {
    if (!widget) return;
    widget->hide();
    widget->setParent(nullptr);
    widget->deleteLater();
}

// Holds the column at the full width up to its maximum, centred in anything wider. (A box
// layout gives an aligned widget no more than its size hint.)
class CentredColumn : public QWidget {
public:
    explicit CentredColumn(QWidget* column) : column_(column) {
        column->setParent(this);
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    QSize sizeHint() const override { return column_->sizeHint(); }
    QSize minimumSizeHint() const override { return column_->minimumSizeHint(); }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return column_->heightForWidth(columnWidth(width)); }

protected:
    bool event(QEvent* event) override {
        // The column's hints changed: tell the scroll area and place it again.
        if (event->type() == QEvent::LayoutRequest) {
            updateGeometry();
            place();
        }
        return QWidget::event(event);
    }
    void resizeEvent(QResizeEvent*) override { place(); }

private:
    int columnWidth(int width) const { return std::min(width, column_->maximumWidth()); }
    void place() {
        const int w = columnWidth(width());
        column_->setGeometry((width() - w) / 2, 0, w, std::max(height(), column_->heightForWidth(w)));
    }

    QWidget* column_;
};

} // namespace

class PreviewView::Impl {
public:
    Impl(PreviewView& view, PreviewModel& model, Actions actions)
        : view_(view), model_(model), actions_(std::move(actions)) {
        auto layout = std::make_unique<QVBoxLayout>();
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        root_ = layout.get();
        view.setLayout(layout.release());

        QObject::connect(&model, &PreviewModel::metadataChanged, &view, [this] { showPage(); });
        QObject::connect(&model, &PreviewModel::isLoadingChanged, &view, [this] {
            if (!model_.metadata()) showPage();
        });
        QObject::connect(&model, &PreviewModel::errorMessageChanged, &view, [this] {
            if (model_.metadata()) updateErrorMessage();
            else showPage();
        });
        addShortcut(Qt::Key_Space, [this] { run(actions_.play); });
        addShortcut(Qt::Key_Home, [this] { run(actions_.stop); });
        addShortcut(Qt::Key_Left, [this] { seekBy(-kSeekStepSeconds); }, true);
        addShortcut(Qt::Key_Right, [this] { seekBy(kSeekStepSeconds); }, true);
        addShortcut(Qt::Key_BracketLeft, [this] {
            if (markers_) seekTo(markers_->previousFraction(model_.fraction(), kMarkerStepBackSlackSeconds));
        }, true);
        addShortcut(Qt::Key_BracketRight, [this] {
            if (markers_) seekTo(markers_->nextFraction(model_.fraction()));
        }, true);
        addShortcut(Qt::Key_T, [this] {
            if (model_.metadata()->timecode) model_.setReadoutShowsTimecode(!model_.readoutShowsTimecode());
        });
        showPage();
    }

private:
    void addShortcut(Qt::Key key, std::function<void()> action, bool repeats = false) {
        auto shortcut = std::make_unique<QShortcut>(QKeySequence(key), &view_);
        // Window-wide, whatever has focus: the preview is the window's whole content.
        shortcut->setContext(Qt::WindowShortcut);
        // A held arrow keeps seeking; a held space must not toggle playback on and off.
        shortcut->setAutoRepeat(repeats);
        QObject::connect(shortcut.get(), &QShortcut::activated, &view_, [this, action = std::move(action)] {
            if (model_.metadata()) action();
        });
        shortcut.release(); // owned by the view
    }

    static void run(const std::function<void()>& action) {
        if (action) action();
    }

    void seekBy(double seconds) {
        const std::optional<double> duration = model_.metadata()->durationSeconds;
        if (!actions_.seek || !duration || !std::isfinite(*duration) || *duration <= 0) return;
        actions_.seek(std::clamp(model_.fraction() + seconds / *duration, 0.0, 1.0));
    }

    void seekTo(std::optional<double> fraction) {
        if (fraction && actions_.seek) actions_.seek(*fraction);
    }

    void showPage() {
        retire(page_);
        errorMessage_ = nullptr;
        const auto& metadata = model_.metadata();
        markers_ = metadata && !metadata->markers.empty() ? std::make_shared<const MarkerTimeline>(*metadata) : nullptr;
        page_ = metadata ? buildColumn(*metadata) : buildEmptyState();
        root_->addWidget(page_);
    }

    QWidget* buildEmptyState() {
        auto page = std::make_unique<EmptyState>(model_, actions_.openFile);
        page->setObjectName(QStringLiteral("emptyState"));
        return page.release();
    }

    QWidget* buildColumn(const AudioMetadata& metadata) {
        auto column = std::make_unique<QWidget>();
        column->setObjectName(QStringLiteral("previewColumn"));
        column->setMaximumWidth(kColumnMaximumWidth);
        column->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        // Installed at once so every child has its parent before it is shown or hidden.
        auto* stack = std::make_unique<QVBoxLayout>(column.get()).release();
        stack->setContentsMargins(kColumnPadding, kColumnPadding, kColumnPadding, kColumnPadding);
        stack->setSpacing(kColumnSpacing);

        stack->addWidget(std::make_unique<PreviewHeader>(metadata, actions_.openFile).release());
        errorMessage_ = makeMessage(QString(), QStringLiteral("exclamationmark.circle"), Tone::red);
        errorMessage_->setObjectName(QStringLiteral("errorMessage"));
        stack->addWidget(errorMessage_);
        updateErrorMessage();
        stack->addWidget(std::make_unique<AudioPlayer>(model_, metadata, actions_, markers_).release());
        stack->addWidget(std::make_unique<FactsStrip>(metadata).release());
        stack->addWidget(std::make_unique<LoudnessStrip>(model_, actions_.measure).release());
        stack->addWidget(std::make_unique<DetailsSections>(model_, metadata, markers_, actions_.seek).release());
        for (const std::string& warning : metadata.warnings) {
            SymbolText* message =
                makeMessage(QString::fromStdString(warning), QStringLiteral("exclamationmark.triangle"), Tone::orange);
            message->setObjectName(QStringLiteral("warning"));
            stack->addWidget(message);
        }
        stack->addStretch(1);

        auto content = std::make_unique<CentredColumn>(column.release());

        auto scroll = std::make_unique<QScrollArea>();
        scroll->setObjectName(QStringLiteral("previewScroll"));
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        scroll->setWidget(content.release());
        return scroll.release();
    }

    void updateErrorMessage() {
        if (!errorMessage_) return;
        const std::optional<QString>& error = model_.errorMessage();
        errorMessage_->label().setFullText(error.value_or(QString()));
        errorMessage_->setAccessibleName(error.value_or(QString()));
        errorMessage_->setVisible(error.has_value());
    }

    PreviewView& view_;
    PreviewModel& model_;
    Actions actions_;
    QVBoxLayout* root_ = nullptr;
    QPointer<QWidget> page_;
    QPointer<SymbolText> errorMessage_;
    // The loaded file's markers, shared by the display, the details and the keys.
    std::shared_ptr<const MarkerTimeline> markers_;
};

PreviewView::PreviewView(PreviewModel& model, Actions actions, QWidget* parent)
    : QWidget(parent), model_(model), impl_(std::make_unique<Impl>(*this, model, std::move(actions))) {}

PreviewView::~PreviewView() = default;

double PreviewView::displayHeight(PreviewModel::DisplayMode mode, std::size_t laneCount) {
    if (mode != PreviewModel::DisplayMode::channels) return kStandardDisplayHeight;
    const double n = double(laneCount);
    const double lane = std::min(kMaximumDisplayHeight / std::max(n, 1.0), kLaneHeight);
    return std::max(lane * n, kStandardDisplayHeight);
}

float PreviewView::viewGain(const std::optional<WaveformGenerator::Buckets>& waveform) {
    if (!waveform || waveform->values.empty()) return 1;
    float peak = 0;
    for (float value : waveform->values) peak = std::max(peak, std::abs(value));
    if (peak > 0 && peak < kQuietPeak) return std::min(0.9f / peak, kMaximumGain);
    return 1;
}

std::optional<QString> PreviewView::zoomNote(float gain) {
    if (!(gain > 1) || !std::isfinite(gain)) return std::nullopt;
    return tr("View +%1 dB").arg(qlonglong(std::llround(20 * std::log10(double(gain)))));
}

} // namespace vaun
