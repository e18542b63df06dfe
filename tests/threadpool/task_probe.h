#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <latch>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "threadpool/thread_pool.h"

// What the pool tests observe tasks and worker threads with. Task routines are
// plain functions, so they report to one process-wide probe.

namespace melvara::threadpool::testing {

using Task = std::pair<std::int32_t, std::int32_t>;

class TaskProbe {
  public:
    static TaskProbe& Get();

    // Closes the gate and forgets everything recorded.
    void Reset();
    // Lets every blocked task (and every later one) through.
    void OpenGate();
    // Wait until that many blocking tasks have started / tasks have finished.
    // False after ten seconds instead of hanging.
    bool WaitStarted(int count);
    bool WaitFinished(int count);
    // Wait until no task is inside its routine.
    bool WaitQuiet();

    int started();
    std::vector<Task> finished();

    void Start(Task task, bool blocks);
    void Finish(Task task);

  private:
    template <typename Condition>
    bool WaitUntil(Condition condition);

    std::mutex mutex_;
    std::condition_variable changed_;
    bool gateOpen_ = false;
    int started_ = 0;
    int active_ = 0;
    std::vector<Task> finished_;
};

// Records its arguments; blocks at the gate first.
void BlockingTask(std::int32_t value, std::int32_t key);
// Records its arguments.
void RecordingTask(std::int32_t value, std::int32_t key);

// Spins until `condition` holds; false after ten seconds.
bool Eventually(const std::function<bool()>& condition);

// Starts worker threads as std::threads the test can join, optionally holding
// some back until the test releases them, and can fail starts on a script.
class WorkerSpawner {
  public:
    WorkerSpawner() = default;
    WorkerSpawner(const WorkerSpawner&) = delete;
    WorkerSpawner& operator=(const WorkerSpawner&) = delete;
    // Opens the gate, releases held threads and joins everything.
    ~WorkerSpawner();

    ThreadPool::ThreadStarter Starter();

    // One letter per start, in order: 'S' starts, 'F' fails, 'H' starts held
    // back. Starts beyond the script succeed.
    void Script(std::string script);
    void ReleaseHeld();
    void JoinAll();

    int starts();
    // Held-back threads whose routine has returned.
    int heldFinished() const { return heldFinished_.load(); }
    std::vector<std::size_t> stackSizes();

  private:
    bool Start(std::size_t stackSize, platform::ThreadRoutine routine, void* argument);

    std::mutex mutex_;
    std::string script_;
    std::vector<std::size_t> stackSizes_;
    std::vector<std::thread> threads_;
    std::shared_ptr<std::latch> held_ = std::make_shared<std::latch>(1);
    std::atomic<int> heldFinished_{0};
};

}  // namespace melvara::threadpool::testing
