#pragma once

// What the two jobs reach of the main window, from any thread.

#include <QPointer>
#include <QWidget>

#include "app/window_controls.h"
#include "platform/gui_window_thread_gate.h"

namespace melvara::app {

class MainWindow;

struct JobWindow {
    WindowControls controls;
    // Runs a step on the window's thread, so that checking the list's
    // generation and touching its rows happen together; closed once the
    // window is gone.
    platform::WindowThreadCaller caller;
    // Only for the window's thread.
    QPointer<QWidget> widget;

    // On the window's thread: false once the window has been closed or destroyed.
    bool Showing() const;
};

// Makes window the one the jobs work on (on the window's thread). Rows of an
// earlier window are out of reach from then on.
void AttachJobWindow(MainWindow& window);

// The window attached last; an empty one (every access does nothing) before.
JobWindow CurrentJobWindow();

}  // namespace melvara::app
