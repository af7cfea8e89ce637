#pragma once
// What the preview shows while no file is loaded: the welcome, the loading indicator or the
// failure, centred in the available space. Built for one state of the model; the preview
// builds it anew when loading or the error changes.
#include "PreviewModel.h"

#include <QWidget>

#include <functional>

namespace vaun {

class EmptyState : public QWidget {
    Q_OBJECT
public:
    // `openFile` empty: the open button and the format line are left out.
    EmptyState(const PreviewModel& model, const std::function<void()>& openFile, QWidget* parent = nullptr);
};

} // namespace vaun
