#include "StartupTrace.h"

#include "PreviewViews/ChannelLanesView.h"
#include "PreviewViews/WaveformView.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <cstdio>

namespace vaun {

StartupTrace::StartupTrace(QObject* parent) : QObject(parent) {
    if (!qEnvironmentVariableIsEmpty("VAUN_TRACE_STARTUP")) QCoreApplication::instance()->installEventFilter(this);
}

bool StartupTrace::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Paint) return false;
    if (!windowPainted_) {
        windowPainted_ = true;
        std::fputs("startup: window painted\n", stderr);
        std::fflush(stderr);
    }
    const auto* waveform = qobject_cast<const WaveformView*>(watched);
    const auto* lanes = qobject_cast<const ChannelLanesView*>(watched);
    if (!waveformPainted_ && ((waveform && !waveform->values().empty()) || (lanes && !lanes->lanes().empty()))) {
        waveformPainted_ = true;
        std::fputs("startup: waveform painted\n", stderr);
        std::fflush(stderr);
    }
    return false;
}

} // namespace vaun
