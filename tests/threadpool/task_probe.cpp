#include "task_probe.h"

#include <string>

namespace melvara::threadpool::testing {

namespace {
constexpr auto kPatience = std::chrono::seconds(10);
}

TaskProbe& TaskProbe::Get() {
    static TaskProbe probe;
    return probe;
}

void TaskProbe::Reset() {
    std::lock_guard lock(mutex_);
    gateOpen_ = false;
    started_ = 0;
    finished_.clear();
}

void TaskProbe::OpenGate() {
    {
        std::lock_guard lock(mutex_);
        gateOpen_ = true;
    }
    changed_.notify_all();
}

template <typename Condition>
bool TaskProbe::WaitUntil(Condition condition) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kPatience, condition);
}

bool TaskProbe::WaitStarted(int count) {
    return WaitUntil([&] { return started_ >= count; });
}

bool TaskProbe::WaitFinished(int count) {
    return WaitUntil([&] { return static_cast<int>(finished_.size()) >= count; });
}

bool TaskProbe::WaitQuiet() {
    return WaitUntil([&] { return active_ == 0; });
}

int TaskProbe::started() {
    std::lock_guard lock(mutex_);
    return started_;
}

std::vector<Task> TaskProbe::finished() {
    std::lock_guard lock(mutex_);
    return finished_;
}

void TaskProbe::Start(Task, bool blocks) {
    std::unique_lock lock(mutex_);
    ++active_;
    if (blocks) {
        ++started_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return gateOpen_; });
    }
}

void TaskProbe::Finish(Task task) {
    {
        std::lock_guard lock(mutex_);
        finished_.push_back(task);
        --active_;
    }
    changed_.notify_all();
}

void BlockingTask(std::int32_t value, std::int32_t key) {
    TaskProbe::Get().Start({value, key}, true);
    TaskProbe::Get().Finish({value, key});
}

void RecordingTask(std::int32_t value, std::int32_t key) {
    TaskProbe::Get().Start({value, key}, false);
    TaskProbe::Get().Finish({value, key});
}

bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

WorkerSpawner::~WorkerSpawner() {
    TaskProbe::Get().OpenGate();
    ReleaseHeld();
    JoinAll();
}

ThreadPool::ThreadStarter WorkerSpawner::Starter() {
    return [this](std::size_t stackSize, platform::ThreadRoutine routine, void* argument) {
        return Start(stackSize, routine, argument);
    };
}

void WorkerSpawner::Script(std::string script) {
    std::lock_guard lock(mutex_);
    script_ = std::move(script);
}

bool WorkerSpawner::Start(std::size_t stackSize, platform::ThreadRoutine routine, void* argument) {
    std::lock_guard lock(mutex_);
    const std::size_t index = stackSizes_.size();
    stackSizes_.push_back(stackSize);
    const char step = index < script_.size() ? script_[index] : 'S';
    if (step == 'F') {
        return false;
    }
    if (step == 'H') {
        threads_.emplace_back([this, held = held_, routine, argument] {
            held->wait();
            routine(argument);
            ++heldFinished_;
        });
    } else {
        threads_.emplace_back(routine, argument);
    }
    return true;
}

void WorkerSpawner::ReleaseHeld() {
    std::lock_guard lock(mutex_);
    if (held_->try_wait()) {
        return;
    }
    held_->count_down();
}

void WorkerSpawner::JoinAll() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        threads.swap(threads_);
    }
    for (auto& thread : threads) {
        thread.join();
    }
}

int WorkerSpawner::starts() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(stackSizes_.size());
}

std::vector<std::size_t> WorkerSpawner::stackSizes() {
    std::lock_guard lock(mutex_);
    return stackSizes_;
}

}  // namespace melvara::threadpool::testing
