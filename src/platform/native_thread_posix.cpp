#include "platform/native_thread.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace melvara::platform {

namespace {

class ThreadAttributes {
  public:
    ThreadAttributes() { valid_ = pthread_attr_init(&attr_) == 0; }
    ~ThreadAttributes() {
        if (valid_) {
            pthread_attr_destroy(&attr_);
        }
    }
    ThreadAttributes(const ThreadAttributes&) = delete;
    ThreadAttributes& operator=(const ThreadAttributes&) = delete;

    bool valid() const { return valid_; }
    pthread_attr_t* get() { return &attr_; }

  private:
    pthread_attr_t attr_{};
    bool valid_ = false;
};

}  // namespace

std::size_t ThreadStackSize(std::size_t requested) {
    if (requested == 0) {
        return 0;
    }
    // Below this a thread has no room for libc and a task, let alone sanitizers.
    const std::size_t floor =
        std::max<std::size_t>(kMinimumThreadStack, static_cast<std::size_t>(PTHREAD_STACK_MIN));
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t rounded = requested > SIZE_MAX - page ? requested / page * page
                                                            : (requested + page - 1) / page * page;
    return std::max(rounded, floor);
}

bool CreateNativeThread(std::size_t stackSize, ThreadRoutine routine, void* argument) {
    if (routine == nullptr) {
        return false;
    }
    ThreadAttributes attributes;
    if (!attributes.valid() ||
        pthread_attr_setdetachstate(attributes.get(), PTHREAD_CREATE_DETACHED) != 0) {
        return false;
    }
    const std::size_t size = ThreadStackSize(stackSize);
    if (size != 0 && pthread_attr_setstacksize(attributes.get(), size) != 0) {
        return false;
    }
    pthread_t thread{};
    return pthread_create(&thread, attributes.get(), routine, argument) == 0;
}

}  // namespace melvara::platform
