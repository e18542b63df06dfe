#pragma once

// Running code on the window's thread, synchronously, from any thread.
//
// Widgets may only be touched on the thread that owns them, yet worker threads
// read and write the window's controls and need the answer before they go on.
// A WindowThreadGate lives with the window; WindowThreadCaller handles, copied
// freely to other threads, hand a task to the window's thread and wait until it
// has run. Once the gate is closed (window destroyed, or the application's
// event loop has ended) every waiting and every later request returns at once
// without running its task, so no thread is left blocked on a window that will
// never answer and no task touches a destroyed widget.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

class QObject;

namespace melvara::platform {

struct WindowThreadState;

class WindowThreadCaller {
  public:
    // A caller that belongs to no gate: behaves like one whose gate is closed.
    WindowThreadCaller() = default;

    // Runs task on the window's thread and returns once it has run: a direct
    // call on the window's thread, otherwise a request that the window's thread
    // serves from its event loop while this thread waits. Returns false, without
    // running the task, when the gate is closed or closes while waiting.
    bool Run(const std::function<void()>& task) const;

    // Run() for a task with a result: the result, or nothing when it did not run.
    template <class F>
    auto Call(F&& f) const -> std::optional<std::invoke_result_t<F&>> {
        std::optional<std::invoke_result_t<F&>> result;
        Run([&] { result.emplace(f()); });
        return result;
    }

    bool IsOpen() const;
    bool OnWindowThread() const;

  private:
    friend class WindowThreadGate;
    explicit WindowThreadCaller(std::shared_ptr<WindowThreadState> state);

    std::shared_ptr<WindowThreadState> state_;
};

class WindowThreadGate {
  public:
    // Made on the window's thread. Requests are posted to context, which must
    // live on that thread; the gate closes itself when context is destroyed or
    // the application is about to quit, whichever comes first.
    explicit WindowThreadGate(QObject* context);
    ~WindowThreadGate();
    WindowThreadGate(const WindowThreadGate&) = delete;
    WindowThreadGate& operator=(const WindowThreadGate&) = delete;

    WindowThreadCaller Caller() const;

    // Refuses every later request and releases every waiting one. Idempotent.
    void Close();

    // Requests posted and not yet served or released.
    std::size_t PendingRequests() const;

  private:
    std::shared_ptr<WindowThreadState> state_;
};

}  // namespace melvara::platform
