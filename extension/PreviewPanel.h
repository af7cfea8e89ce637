#pragma once
// The quick-look panel of `vaun-preview`: a utility window around the plug-in's preview that
// walks a list of files. It tells the plug-in what a file manager's preview service would,
// in the same order: a prepare request, then (once shown) the view appearing, and the view
// disappearing when the panel closes. Escape closes it; Up/Page Up and Down/Page Down move
// to the previous and next file; Space, Home, Left and Right belong to the preview itself.
#include "PreviewExtension.h"

#include <QStringList>
#include <QWidget>

namespace vaun {

class PreviewPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int preferredWidth = 720;
    static constexpr int preferredHeight = 600;

    PreviewPanel(PreviewExtension& extension, QStringList files, QWidget* parent = nullptr);

    // Asks for the first file, then shows the panel near the pointer (or centred).
    void open();
    int currentIndex() const { return index_; }
    // Moves by `step` files (clamped to the list); a new request while the panel stays up.
    void goBy(int step);
    // Called with the outcome of each request, for the self-test.
    void setOnPrepared(PreviewExtension::Completion callback) { onPrepared_ = std::move(callback); }

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void requestCurrent();
    void placeOnScreen();

    PreviewExtension& extension_;
    QStringList files_;
    int index_ = 0;
    bool appeared_ = false;
    PreviewExtension::Completion onPrepared_;
};

} // namespace vaun
