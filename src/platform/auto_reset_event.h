#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// An unnamed auto-reset event: Set() releases one waiter (or the next one to
// come) and the event resets itself as that waiter leaves.

namespace melvara::platform {

class AutoResetEvent {
  public:
    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void Set();
    // Back to non-signalled without waking anyone.
    void Reset();
    void Wait();
    // True when signalled within `timeout`, false when the time ran out.
    bool Wait(std::chrono::milliseconds timeout);

  private:
    std::mutex mutex_;
    std::condition_variable signalled_;
    bool set_ = false;
};

}  // namespace melvara::platform
