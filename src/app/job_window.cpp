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
    std::unique_ptr<platform::WindowThreadGate> gate;
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
    // The gate closes by itself when the window is destroyed or the
    // application quits.
    auto gate = std::make_unique<platform::WindowThreadGate>(&window);
    JobWindow jobWindow{window.Controls(), gate->Caller(), QPointer<QWidget>(&window)};
    StartNewListGeneration();
    Attached& attached = TheAttached();
    std::unique_ptr<platform::WindowThreadGate> previous;
    {
        std::lock_guard lock(attached.mutex);
        previous = std::exchange(attached.gate, std::move(gate));
        attached.window = std::move(jobWindow);
    }
}

JobWindow CurrentJobWindow() {
    Attached& attached = TheAttached();
    std::lock_guard lock(attached.mutex);
    return attached.window;
}

}  // namespace melvara::app
