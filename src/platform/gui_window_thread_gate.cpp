#include "platform/gui_window_thread_gate.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace melvara::platform {

namespace {

enum class Phase { Waiting, Running, Done, Dropped };

struct Request {
    explicit Request(const std::function<void()>& t) : task(&t) {}
    // Points into the waiting caller's frame; only used while it waits.
    const std::function<void()>* task;
    Phase phase = Phase::Waiting;
    std::condition_variable finished;
};

}  // namespace

struct WindowThreadState {
    std::mutex mutex;
    bool open = true;
    QObject* context = nullptr;
    std::thread::id windowThread;
    std::vector<std::shared_ptr<Request>> pending;

    void Finish(const std::shared_ptr<Request>& request, Phase phase) {
        request->phase = phase;
        pending.erase(std::remove(pending.begin(), pending.end(), request), pending.end());
        request->finished.notify_one();
    }

    void Close() {
        std::lock_guard lock(mutex);
        if (!open) {
            return;
        }
        open = false;
        context = nullptr;
        // A request the window's thread is running right now (Close called from
        // inside a task) completes normally; only unserved ones are released.
        auto waiting = pending;
        for (const auto& request : waiting) {
            if (request->phase == Phase::Waiting) {
                Finish(request, Phase::Dropped);
            }
        }
    }

    // On the window's thread, from its event loop.
    void Serve(const std::shared_ptr<Request>& request) {
        {
            std::lock_guard lock(mutex);
            if (request->phase != Phase::Waiting) {
                return;  // released by Close; its caller has gone on
            }
            request->phase = Phase::Running;
        }
        struct Completion {
            WindowThreadState& state;
            const std::shared_ptr<Request>& request;
            ~Completion() {
                std::lock_guard lock(state.mutex);
                state.Finish(request, Phase::Done);
            }
        } completion{*this, request};
        (*request->task)();
    }
};

WindowThreadCaller::WindowThreadCaller(std::shared_ptr<WindowThreadState> state)
    : state_(std::move(state)) {}

bool WindowThreadCaller::Run(const std::function<void()>& task) const {
    if (!state_) {
        return false;
    }
    WindowThreadState& state = *state_;
    if (std::this_thread::get_id() == state.windowThread) {
        // Never queue to our own thread: nobody would serve it while we wait.
        {
            std::lock_guard lock(state.mutex);
            if (!state.open) {
                return false;
            }
        }
        task();
        return true;
    }

    auto request = std::make_shared<Request>(task);
    std::unique_lock lock(state.mutex);
    if (!state.open) {
        return false;
    }
    state.pending.push_back(request);
    // Posted under the lock: Close() takes it before the context can go away.
    // The functor keeps the state alive, since this thread may be released and
    // drop its handle before the posted event is discarded.
    const bool posted = QMetaObject::invokeMethod(
        state.context, [keep = state_, request] { keep->Serve(request); }, Qt::QueuedConnection);
    if (!posted) {
        state.Finish(request, Phase::Dropped);  // nobody would ever serve it
        return false;
    }
    request->finished.wait(
        lock, [&] { return request->phase == Phase::Done || request->phase == Phase::Dropped; });
    return request->phase == Phase::Done;
}

bool WindowThreadCaller::IsOpen() const {
    if (!state_) {
        return false;
    }
    std::lock_guard lock(state_->mutex);
    return state_->open;
}

bool WindowThreadCaller::OnWindowThread() const {
    return state_ && std::this_thread::get_id() == state_->windowThread;
}

WindowThreadGate::WindowThreadGate(QObject* context)
    : state_(std::make_shared<WindowThreadState>()) {
    Q_ASSERT(context != nullptr && context->thread() == QThread::currentThread());
    state_->context = context;
    state_->windowThread = std::this_thread::get_id();

    std::weak_ptr<WindowThreadState> weak = state_;
    auto close = [weak] {
        if (auto state = weak.lock()) {
            state->Close();
        }
    };
    // A context destroyed without Close() still releases every waiter; its
    // discarded requests never run.
    QObject::connect(context, &QObject::destroyed, close);
    if (auto* app = QCoreApplication::instance()) {
        QObject::connect(app, &QCoreApplication::aboutToQuit, context, close);
    }
}

WindowThreadGate::~WindowThreadGate() {
    Close();
}

WindowThreadCaller WindowThreadGate::Caller() const {
    return WindowThreadCaller(state_);
}

void WindowThreadGate::Close() {
    state_->Close();
}

std::size_t WindowThreadGate::PendingRequests() const {
    std::lock_guard lock(state_->mutex);
    return state_->pending.size();
}

}  // namespace melvara::platform
