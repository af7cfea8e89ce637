#pragma once
// The harness modes that run inside the application, because they need its window and its
// preview controller: "--render-preview FILE DIR" (snapshots), "--perf-sim FILE SECONDS
// [MODE]" (the playback display's CPU load) and "--smoke-test FILE" (the shared view without
// playback), in that order of precedence, after the entry's own one-shot modes. None plays
// audio; each ends the application itself with its status.
#include <QStringList>

class QWidget;

namespace vaun {

class AudioPreviewController;

// Any of the three switches on the line. Such a run never hands a file over to a running
// instance nor registers as one, and needs no display (the entry picks the offscreen
// platform when there is none).
bool hasHarnessSwitch(const QStringList& arguments);

// Starts the mode the line asks for, on the application's event loop, and returns true; it
// later ends the application (QCoreApplication::exit) with the mode's status. Wrong
// arguments end it with status 2 and no output. False when no mode applies: the caller goes
// on as the interactive application. `window` shows the controller's view.
bool startHarnessMode(const QStringList& arguments, AudioPreviewController& preview, QWidget& window);

} // namespace vaun
