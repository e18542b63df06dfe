#pragma once

// Synchronous, thread-safe access to the main window's controls, in GBK text.
//
// Any thread may call these. On the window's thread they act directly; from
// another thread each call is one request that the window's thread serves from
// its event loop while the caller waits. Once the window is gone (or was never
// there) every call returns at once: "" for texts, 0 rows, -1 for a new row,
// and writes change nothing.

#include <memory>

#include "platform/gui_window_thread_gate.h"
#include "text/text_types.h"

class QLineEdit;
class QTreeWidget;

namespace melvara::app {

enum class EditRole { UrlBox, FolderBox, ThreadCountBox };

class WindowControls {
  public:
    struct Widgets {
        QLineEdit* urlBox;
        QLineEdit* folderBox;
        QLineEdit* threadCountBox;
        QTreeWidget* songList;
    };

    // Reaches no window.
    WindowControls() = default;
    // The widgets must live on the caller's window thread and outlive its gate.
    WindowControls(platform::WindowThreadCaller caller, const Widgets& widgets);

    // The controls of the main window that exists now (see MainWindow).
    static WindowControls Current();
    static void SetCurrent(const WindowControls& controls);
    // Forgets controls as the current ones, unless others replaced them since.
    static void Withdraw(const WindowControls& controls);

    Text EditText(EditRole role) const;
    void SetEditText(EditRole role, const Text& text) const;

    void ClearRows() const;
    // Appends a row of empty cells; its 0-based index, or -1 without a window.
    int AppendRow() const;
    int RowCount() const;
    // "" for a row or column that does not exist.
    Text CellText(int row, int column) const;
    // A row or column that does not exist is left alone.
    void SetCellText(int row, int column, const Text& text) const;

  private:
    struct Target {
        platform::WindowThreadCaller caller;
        Widgets widgets;
    };
    QLineEdit* Edit(EditRole role) const;

    std::shared_ptr<const Target> target_;
};

}  // namespace melvara::app
