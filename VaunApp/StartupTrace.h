#pragma once
// For start-up benchmarks: with VAUN_TRACE_STARTUP set, one line on standard error when the
// window is first painted ("startup: window painted") and when a loaded waveform or set of
// lanes is first painted ("startup: waveform painted"). The benchmark times the lines as they
// arrive, from its own launch of the program.
#include <QObject>

namespace vaun {

class StartupTrace : public QObject {
public:
    // Watches the whole application when the variable is set; else does nothing.
    explicit StartupTrace(QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool windowPainted_ = false;
    bool waveformPainted_ = false;
};

} // namespace vaun
