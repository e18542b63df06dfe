#include "app/job_window.h"

#include <memory>
#include <mutex>
#include <utility>

#include "app/list_generation.h"
#include "app/main_window.h"

namespace melvara::app {
namespace {

struct Attached {
    std::mutex mutex;
    JobWindow window;
};

// Deliberately never destroyed: download workers may still look up the window
// while the process exits.
Attached& TheAttached() {
    static Attached& attached = *std::make_unique<Attached>().release();
    return attached;
}

}  // namespace

bool JobWindow::Showing() const {
    return !widget.isNull() && widget->isVisible() && caller.IsOpen();
}

void AttachJobWindow(MainWindow& window) {
    // The window's own caller closes by itself when the window is destroyed or
    // the application quits.
    JobWindow jobWindow{window.Controls(), window.ThreadCaller(), QPointer<QWidget>(&window)};
    StartNewListGeneration();
    Attached& attached = TheAttached();
    std::lock_guard lock(attached.mutex);
    attached.window = std::move(jobWindow);
}

JobWindow CurrentJobWindow() {
    Attached& attached = TheAttached();
    std::lock_guard lock(attached.mutex);
    return attached.window;
}

}  // namespace melvara::app
