// The application window as a user meets it: its title, sizes and two menus, the open dialog
// that comes only once, and files dropped on the window.
#include "TestAudio.h"
#include "VaunAppDelegate.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace vaun::test {
namespace {

// Launches the way the entry does for `vaun` with no file.
std::unique_ptr<VaunAppDelegate> launched() {
    auto delegate = std::make_unique<VaunAppDelegate>(QStringList{QStringLiteral("vaun")});
    delegate->applicationDidFinishLaunching();
    return delegate;
}

TEST(AppDelegate, LaunchShowsTheWindowWithItsTitleSizesAndMenus) {
    const auto delegate = launched();
    QMainWindow* window = delegate->window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "ZOREL Vaun");
    EXPECT_EQ(window->centralWidget(), delegate->preview().view());
    EXPECT_EQ(window->centralWidget()->size(), QSize(720, 600));

    const QList<QAction*> menus = window->menuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), "ZOREL Vaun");
    EXPECT_EQ(menus[1]->text(), "File");
    const QList<QAction*> application = menus[0]->menu()->actions(), file = menus[1]->menu()->actions();
    ASSERT_EQ(application.size(), 1);
    EXPECT_EQ(application[0]->text(), "Quit ZOREL Vaun");
    EXPECT_EQ(application[0]->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    ASSERT_EQ(file.size(), 1);
    EXPECT_EQ(file[0]->text(), QStringLiteral("Open File\u2026"));
    EXPECT_EQ(file[0]->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));

    window->resize(100, 100);
    QApplication::processEvents();
    EXPECT_EQ(window->centralWidget()->size(), QSize(560, 480));
}

TEST(AppDelegate, OpenFileTwiceShowsOneDialog) {
    const auto delegate = launched();
    delegate->openFile();
    delegate->openFile();
    QList<QFileDialog*> dialogs = delegate->window()->findChildren<QFileDialog*>();
    ASSERT_EQ(dialogs.size(), 1);
    QFileDialog* dialog = dialogs.front();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    const QString filter = dialog->nameFilters().join(u' ');
    for (const char* pattern : {"*.wav", "*.rf64", "*.aiff", "*.caf", "*.mp3", "*.m4a", "*.flac"})
        EXPECT_TRUE(filter.contains(QLatin1String(pattern))) << pattern;
    EXPECT_FALSE(filter.contains(QLatin1String("*.txt")));

    // Once it is gone, the menu item brings a new one.
    dialog->reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->window()->findChildren<QFileDialog*>().isEmpty(); }, 5000));
    delegate->openFile();
    EXPECT_EQ(delegate->window()->findChildren<QFileDialog*>().size(), 1);
}

bool drop(QWidget& target, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const QPoint centre = target.rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &dropped);
    return dropped.isAccepted();
}

TEST(AppDelegate, AnAudioFileDroppedOnTheWindowIsShown) {
    TempDir dir;
    writeWav(dir / "dropped.wav", {sine(440, 0.5, 48000, 4800)}, 48000);
    std::ofstream(dir / "notes.txt") << "not audio\n";
    const auto delegate = launched();

    EXPECT_FALSE(drop(*delegate->window(), QString::fromStdString((dir / "notes.txt").string())));
    ASSERT_TRUE(drop(*delegate->window(), QString::fromStdString((dir / "dropped.wav").string())));
    const PreviewModel& model = delegate->preview().model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.metadata().has_value(); }, 10000));
    EXPECT_EQ(model.metadata()->fileName, "dropped.wav");
}

} // namespace
} // namespace vaun::test
