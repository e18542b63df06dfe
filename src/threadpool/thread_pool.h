#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/native_thread.h"

// A fixed set of worker threads that all wait on one completion port. A task is
// a routine and two integers; it travels through the port as one packet and is
// run by whichever worker takes it. The shared state is a few atomic counters
// and a state word.

namespace melvara::threadpool {

// The unit of work. A routine that needs only the first value ignores the second.
using TaskRoutine = void (*)(std::int32_t taskValue, std::int32_t taskKey);

// Values of GetState().
struct PoolState {
    static constexpr std::int32_t Stopped = 0;
    static constexpr std::int32_t Running = 1;
    static constexpr std::int32_t Starting = 2;
    static constexpr std::int32_t Stopping = 3;
};

// What the workers see. The pool object and every worker thread co-own it, so
// the pool can be destroyed without waiting while workers are still leaving.
struct PoolCore;

class ThreadPool {
  public:
    // Starts one worker thread: false when it could not be created.
    using ThreadStarter =
        std::function<bool(std::size_t stackSize, platform::ThreadRoutine routine, void* argument)>;

    ThreadPool();
    // For tests: workers are started through `starter` instead of the system.
    explicit ThreadPool(ThreadStarter starter);
    // Stops the pool with mode 2 (tell the workers to leave, do not wait).
    ~ThreadPool();
    // The workers are bound to this pool's state; pools are not copied.
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Starts `threadCount` workers (5 when omitted, 1 when given below 1) and
    // returns once they are up or the start-up wait has run out. False when the
    // pool was not stopped or no worker came up. `processEvents` 1 pumps the
    // calling thread's window messages while waiting. `stackSize` omitted or 0
    // keeps the system default; other values below 8192 become 8192, the rest
    // are rounded down to a multiple of 4096.
    bool Create(std::optional<std::int32_t> threadCount = std::nullopt,
                std::optional<std::int32_t> processEvents = std::nullopt,
                std::optional<std::int32_t> stackSize = std::nullopt);

    // Modes (others count as 0): 0 drop queued tasks and wait, 1 run queued
    // tasks first and wait, 2 drop and do not wait, 3 run first and do not wait.
    // `timeoutMs` above 0 limits the wait. True when the pool was already
    // stopped, reached Stopped, or (modes 2 and 3) the workers were told to
    // leave; false when it was starting or stopping, or the wait timed out.
    bool Stop(std::optional<std::int32_t> mode = std::nullopt,
              std::optional<std::int32_t> timeoutMs = std::nullopt,
              std::optional<std::int32_t> processEvents = std::nullopt);

    // Posts a task; never waits. False when the pool is not running or the
    // routine is missing.
    bool Submit(TaskRoutine routine, std::optional<std::int32_t> taskValue = std::nullopt,
                std::optional<std::int32_t> taskKey = std::nullopt);
    bool SubmitAddress(std::uintptr_t address, std::optional<std::int32_t> taskValue = std::nullopt,
                       std::optional<std::int32_t> taskKey = std::nullopt);

    std::int32_t IdleThreadCount() const;  // ThreadCount() - BusyCount()
    std::int32_t BusyCount() const;        // tasks whose routine is running
    std::int32_t QueuedCount() const;      // tasks posted and not yet taken
    std::int32_t ThreadCount() const;      // workers in their loop
    bool IsIdle() const;                   // nothing queued and nothing running
    std::int32_t GetState() const;         // a PoolState value

    // The code address the workers start at; 0 where no thunk could be built
    // (and on processors where thunks are not generated).
    std::uintptr_t thunk() const;

  private:
    std::shared_ptr<PoolCore> core_;
};

}  // namespace melvara::threadpool
