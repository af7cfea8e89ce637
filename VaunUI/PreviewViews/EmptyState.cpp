#include "PreviewViews/EmptyState.h"

#include "PreviewViews/GlassControl.h"
#include "PreviewViews/PreviewText.h"
#include "Toolkit/SpinningProgress.h"
#include "Toolkit/Symbols.h"
#include "Toolkit/Typography.h"

#include <QVBoxLayout>

#include <memory>

namespace vaun {

EmptyState::EmptyState(const PreviewModel& model, const std::function<void()>& openFile, QWidget* parent)
    : QWidget(parent) {
    auto layout = std::make_unique<QVBoxLayout>();
    layout->setContentsMargins(40, 40, 40, 40);
    layout->setSpacing(18);
    layout->addStretch(1);
    auto add = [&layout](QWidget* widget) { layout->addWidget(widget, 0, Qt::AlignHCenter); };

    const bool failed = model.errorMessage().has_value();
    const QSizeF glyph = Symbols::sizeForFont(42);
    auto icon = std::make_unique<SymbolImage>(failed ? QStringLiteral("waveform.badge.exclamationmark")
                                                     : QStringLiteral("waveform"),
                                              QSizeF(glyph.width(), 64), Tone::blue);
    icon->setGlyphSize(glyph);
    icon->setObjectName(QStringLiteral("emptyStateSymbol"));
    add(icon.release());

    if (model.isLoading()) {
        add(std::make_unique<SpinningProgress>(tr("Reading audio…")).release());
    } else {
        auto title = std::make_unique<PreviewText>(failed ? tr("Couldn't open this audio file.")
                                                          : tr("Take a closer listen."),
                                                   systemFont(24, FontWeight::semibold), Tone::primary);
        title->setAlignment(Qt::AlignHCenter);
        add(title.release());

        auto subtitle = std::make_unique<PreviewText>(
            failed ? *model.errorMessage() : tr("See the waveform, check the details, and press play."),
            systemFont(TextStyle::body), Tone::secondary);
        subtitle->setAlignment(Qt::AlignHCenter);
        subtitle->setSelectable(true);
        // Centred, but free to wrap across the whole width for long messages.
        layout->addWidget(subtitle.release());

        if (openFile) {
            auto open = std::make_unique<GlassControl>(tr("Open Audio File…"), true);
            open->setControlSize(GlassControl::ControlSize::large);
            connect(open.get(), &GlassControl::clicked, this, [openFile] { openFile(); });
            add(open.release());

            auto formats = std::make_unique<PreviewText>(QStringLiteral("WAV · AIFF · CAF · MP3 · M4A · FLAC"),
                                                         systemFont(11), Tone::secondary);
            formats->setContentsMargins(0, 6, 0, 0);
            add(formats.release());
        }
    }
    layout->addStretch(1);
    setLayout(layout.release());
}

} // namespace vaun
