#pragma once

// The program's one window, built from main_window.ui. The template names the
// controls by their form names (编辑框1, 超级列表框1, ...); code reaches them
// through the role-named accessors below.

#include <QWidget>
#include <memory>

#include "app/window_controls.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace Ui {
class MainWindow;
}

namespace melvara::app {

// SongList's columns.
inline constexpr int kColumnNumber = 0;
inline constexpr int kColumnName = 1;
inline constexpr int kColumnSongId = 2;
inline constexpr int kColumnLink = 3;
inline constexpr int kColumnStatus = 4;
inline constexpr int kColumnCount = 5;

class MainWindow : public QWidget {
    Q_OBJECT

  public:
    // Builds every control in its initial state and makes this window's
    // controls the ones WindowControls::Current() reaches.
    explicit MainWindow(QWidget* parent = nullptr);
    // From here on every control request, waiting or new, returns empty at once.
    ~MainWindow() override;

    QLabel* CreditLabel() const;
    QTreeWidget* SongList() const;
    QLabel* UrlLabel() const;
    QLineEdit* UrlBox() const;
    QLabel* FolderLabel() const;
    QLineEdit* FolderBox() const;
    QLabel* ThreadCountLabel() const;
    QLineEdit* ThreadCountBox() const;
    QPushButton* ParseButton() const;
    QPushButton* DownloadButton() const;

    // Thread-safe access to this window's controls, valid beyond its lifetime.
    WindowControls Controls() const { return controls_; }
    // Runs other work on this window's thread; closed from the start of the
    // window's destruction on.
    platform::WindowThreadCaller ThreadCaller() const;

  private:
    std::unique_ptr<Ui::MainWindow> ui_;
    std::unique_ptr<platform::WindowThreadGate> gate_;
    WindowControls controls_;
};

}  // namespace melvara::app
