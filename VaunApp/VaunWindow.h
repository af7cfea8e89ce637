#pragma once
// The application's main window: tells its owner when it closes and when an audio file is
// dropped on it.
#include <QMainWindow>

#include <filesystem>

namespace vaun {

class VaunWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit VaunWindow(QWidget* parent = nullptr);

signals:
    // The window is closing (it stays alive, only hidden).
    void closing();
    // An audio file was dropped; only the first of several counts.
    void fileDropped(const std::filesystem::path& file);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

} // namespace vaun
