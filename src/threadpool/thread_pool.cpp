#include "threadpool/thread_pool.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/auto_reset_event.h"
#include "platform/completion_port.h"
#include "platform/message_pump.h"
#include "platform/tick_count.h"
#include "threadpool/method_thunk.h"

namespace melvara::threadpool {

namespace {

constexpr std::int32_t kDefaultThreadCount = 5;
constexpr int kMaxConsecutiveThreadFailures = 5;
constexpr std::int32_t kSmallestStack = 8192;
constexpr std::int32_t kStackGranularity = 4096;
constexpr std::chrono::milliseconds kWaitSlice{20};
constexpr std::chrono::milliseconds kIdleSleep{1};
constexpr std::size_t kCacheLine = 64;

// An exit packet is told apart from a task by its overlapped value alone; no
// routine lives at that address.
constexpr std::uint32_t kExitBytes = 0xFFFFFFFF;
constexpr std::uintptr_t kExitKey = 0xFFFFFFFF;
constexpr std::uintptr_t kExitOverlapped = static_cast<std::uintptr_t>(-2);

}  // namespace

struct PoolCore {
    // Must stay the first member: the thunk builder reads the table through it.
    const MethodTable* operations = nullptr;
    std::uintptr_t thunk = 0;
    // 0 or the port below while a generation of workers uses it.
    std::atomic<platform::CompletionPort*> port{nullptr};
    std::atomic<std::int32_t> state{PoolState::Stopped};
    std::atomic<std::int32_t> keepRunning{0};
    std::atomic<std::int32_t> liveThreads{0};
    // Changed for every task by the submitting thread and the workers: each on
    // a cache line of its own, away from the fields every Submit reads.
    alignas(kCacheLine) std::atomic<std::int32_t> busyTasks{0};
    alignas(kCacheLine) std::atomic<std::int32_t> queuedTasks{0};
    // 0 or the event below while Create or a waiting Stop uses it.
    alignas(kCacheLine) std::atomic<platform::AutoResetEvent*> signalEvent{nullptr};

    // The port and the event live as long as the core, so a worker holding one
    // of them can never touch a released object; "creating" one reopens or
    // resets it and "closing" it clears the field.
    platform::CompletionPort portObject;
    platform::AutoResetEvent eventObject;
    // Counts the generations of workers that have ended. A thread that comes up
    // after its generation ended finds a different number and leaves untouched.
    std::atomic<std::uint32_t> generation{0};
    // Joining a generation (its check and the count) and ending it (the last
    // decrement and the reset) must not interleave, or a late thread could be
    // counted into a generation that is being reset. Each thread takes it twice
    // in its life, never per task.
    std::mutex membership;
    ThreadPool::ThreadStarter starter;
    std::weak_ptr<PoolCore> self;

    PoolCore() = default;
    PoolCore(const PoolCore&) = delete;
    PoolCore& operator=(const PoolCore&) = delete;
    // The last owner may be a worker that is still inside WorkerLoop: that is
    // fine, the thunk's code is not run again once the method has been entered.
    ~PoolCore() { FreeMethodThunk(thunk); }
};

namespace {

// What a worker thread is started with: its share of the core and the
// generation it belongs to.
struct WorkerTicket {
    std::shared_ptr<PoolCore> core;
    std::uint32_t generation = 0;
};

using WorkerEntry = std::uintptr_t (*)(PoolCore* self, void* startArgument);

void PumpIf(std::optional<std::int32_t> processEvents) {
    if (processEvents.value_or(0) == 1) {
        platform::ProcessPendingMessages();
    }
}

std::size_t StackSizeFor(std::optional<std::int32_t> stackSize) {
    if (!stackSize || *stackSize == 0) {
        return 0;
    }
    if (*stackSize < kSmallestStack) {
        return kSmallestStack;
    }
    return static_cast<std::size_t>(*stackSize - *stackSize % kStackGranularity);
}

// Closes the port once, whoever gets there first.
void ClosePort(PoolCore& core) {
    if (platform::CompletionPort* port = core.port.exchange(nullptr)) {
        port->Close();
    }
}

std::uintptr_t WorkerLoop(PoolCore* self, void* startArgument) noexcept {
    // Declared first so that it goes last: it may hold the final share of the core.
    const std::unique_ptr<WorkerTicket> ticket(static_cast<WorkerTicket*>(startArgument));
    PoolCore& core = *self;
    {
        const std::lock_guard join(core.membership);
        if (core.generation.load() != ticket->generation) {
            return 0;  // came up after its generation ended; the pool never counted it
        }
        core.liveThreads.fetch_add(1);
    }
    if (platform::AutoResetEvent* event = core.signalEvent.load()) {
        event->Set();
    }
    platform::CompletionPort* port = core.port.load();
    // Stop posts one exit packet per worker it counted. A worker that finds the
    // pool stopping may have come up after that count, so it posts one for
    // itself; behind the tasks already queued, so those still run first in
    // modes 1 and 3. A surplus packet is dropped when the port closes.
    if (port != nullptr && core.state.load() == PoolState::Stopping) {
        port->Post(kExitBytes, kExitKey, kExitOverlapped);
    }
    std::optional<platform::CompletionPacket> packet;
    if (port != nullptr) {
        packet = port->Take();
    }
    bool countedBusy = false;
    while (packet && packet->overlapped != kExitOverlapped &&
           core.keepRunning.load(std::memory_order_relaxed) == 1) {
        // Busy before un-queued: a task on its way is always counted somewhere.
        if (!countedBusy) {
            core.busyTasks.fetch_add(1);
            countedBusy = true;
        }
        core.queuedTasks.fetch_sub(1);
        const auto routine = reinterpret_cast<TaskRoutine>(packet->overlapped);
        routine(static_cast<std::int32_t>(packet->bytesTransferred),
                static_cast<std::int32_t>(static_cast<std::uint32_t>(packet->completionKey)));
        // A packet that is already waiting is handed over while this worker
        // still counts as busy: under load that saves two updates of a counter
        // all workers share on every task. Only a worker about to sleep in the
        // port stops counting as busy.
        packet = port->Take(std::chrono::milliseconds(0));
        if (!packet) {
            core.busyTasks.fetch_sub(1);
            countedBusy = false;
            packet = port->Take();
        }
    }
    if (countedBusy) {
        core.busyTasks.fetch_sub(1);
    }

    const std::lock_guard leave(core.membership);
    if (core.liveThreads.fetch_sub(1) != 1) {
        return 0;
    }
    // The last worker out resets everything, and only then says Stopped, so a
    // Create that sees Stopped starts from clean fields.
    ClosePort(core);
    if (platform::AutoResetEvent* event = core.signalEvent.exchange(nullptr)) {
        event->Set();
    }
    core.keepRunning.store(0, std::memory_order_relaxed);
    core.liveThreads.store(0, std::memory_order_relaxed);
    core.busyTasks.store(0, std::memory_order_relaxed);
    core.queuedTasks.store(0, std::memory_order_relaxed);
    core.generation.fetch_add(1);
    core.state.exchange(PoolState::Stopped);
    return 0;
}

const MethodTable& Operations();

// Where code cannot be generated, every worker starts here and finds its pool
// through the ticket it was started with.
void* StartWorkerWithoutThunk(void* startArgument) {
    PoolCore* core = static_cast<WorkerTicket*>(startArgument)->core.get();
    const auto entry = reinterpret_cast<WorkerEntry>(Operations()[2]);
    return reinterpret_cast<void*>(entry(core, startArgument));
}

platform::ThreadRoutine WorkerStartRoutine(const PoolCore& core) {
    if constexpr (kGeneratedThunks) {
        return core.thunk == 0 ? nullptr : reinterpret_cast<platform::ThreadRoutine>(core.thunk);
    } else {
        return &StartWorkerWithoutThunk;
    }
}

bool Stop(PoolCore* self, std::optional<std::int32_t> mode, std::optional<std::int32_t> timeoutMs,
          std::optional<std::int32_t> processEvents);

void DestroyPool(PoolCore* self) {
    Stop(self, 2, std::nullopt, std::nullopt);
}

bool Create(PoolCore* self, std::optional<std::int32_t> threadCount,
            std::optional<std::int32_t> processEvents, std::optional<std::int32_t> stackSize) {
    PoolCore& core = *self;
    std::int32_t expected = PoolState::Stopped;
    if (!core.state.compare_exchange_strong(expected, PoolState::Starting)) {
        return false;
    }
    const platform::ThreadRoutine start = WorkerStartRoutine(core);
    if (start == nullptr) {
        core.state.exchange(PoolState::Stopped);
        return false;
    }
    const std::int32_t wanted = !threadCount ? kDefaultThreadCount : std::max(*threadCount, 1);
    const std::size_t stack = StackSizeFor(stackSize);

    core.portObject.Reopen();
    core.port.store(&core.portObject);
    core.keepRunning.store(1, std::memory_order_relaxed);
    core.liveThreads.store(0, std::memory_order_relaxed);
    core.busyTasks.store(0, std::memory_order_relaxed);
    core.queuedTasks.store(0, std::memory_order_relaxed);
    core.eventObject.Reset();
    core.signalEvent.store(&core.eventObject);

    const std::uint32_t generation = core.generation.load();
    std::int32_t created = 0;
    int failures = 0;
    for (std::int32_t i = 0; i < wanted; ++i) {
        auto ticket = std::make_unique<WorkerTicket>(WorkerTicket{core.self.lock(), generation});
        if (core.starter && core.starter(stack, start, ticket.get())) {
            ticket.release();  // the thread owns it now
            ++created;
            failures = 0;
        } else if (++failures >= kMaxConsecutiveThreadFailures) {
            PumpIf(processEvents);
            break;
        }
        PumpIf(processEvents);
    }

    if (created > 0) {
        const std::uint64_t started = platform::TickCount();
        const auto limit = static_cast<std::uint64_t>(created) * 10 + 1000;
        while (core.liveThreads.load() < created && platform::TickCount() - started < limit) {
            if (platform::AutoResetEvent* event = core.signalEvent.load()) {
                event->Wait(kWaitSlice);
            } else {
                std::this_thread::sleep_for(kIdleSleep);
            }
            PumpIf(processEvents);
        }
    }
    core.signalEvent.store(nullptr);

    std::unique_lock membership(core.membership);
    if (core.liveThreads.load() == 0) {
        core.keepRunning.store(0, std::memory_order_relaxed);
        ClosePort(core);
        core.generation.fetch_add(1);
        core.state.exchange(PoolState::Stopped);
        return false;
    }
    membership.unlock();
    // Threads that have not come up yet join when they do.
    core.state.exchange(PoolState::Running);
    return true;
}

bool Stop(PoolCore* self, std::optional<std::int32_t> mode, std::optional<std::int32_t> timeoutMs,
          std::optional<std::int32_t> processEvents) {
    PoolCore& core = *self;
    std::int32_t expected = PoolState::Running;
    if (!core.state.compare_exchange_strong(expected, PoolState::Stopping)) {
        return expected == PoolState::Stopped;
    }
    const std::int32_t given = mode.value_or(0);
    const std::int32_t how = given < 0 || given > 3 ? 0 : given;
    const bool waits = how == 0 || how == 1;
    const bool drops = how == 0 || how == 2;

    if (waits) {
        core.eventObject.Reset();
        core.signalEvent.store(&core.eventObject);
    }
    if (drops) {
        core.keepRunning.store(0, std::memory_order_relaxed);
    }
    // Packets come out in posting order, so in modes 1 and 3 every task posted
    // before this point runs before its worker meets an exit packet.
    const std::int32_t workers = core.liveThreads.load();
    if (platform::CompletionPort* port = core.port.load()) {
        for (std::int32_t i = 1; i <= workers; ++i) {
            port->Post(kExitBytes, kExitKey, kExitOverlapped);
            if (i % 100 == 0) {
                PumpIf(processEvents);
            }
        }
    }
    if (!waits) {
        return true;
    }

    const std::int32_t limit = timeoutMs.value_or(0);
    const std::uint64_t started = platform::TickCount();
    while (core.state.load() == PoolState::Stopping) {
        if (limit > 0 && platform::TickCount() - started > static_cast<std::uint64_t>(limit)) {
            return false;  // the workers still leave; the last one sets Stopped
        }
        if (platform::AutoResetEvent* event = core.signalEvent.load()) {
            event->Wait(kWaitSlice);
        } else {
            std::this_thread::sleep_for(kIdleSleep);
        }
        PumpIf(processEvents);
    }
    return true;
}

bool SubmitAddress(PoolCore* self, std::uintptr_t address, std::optional<std::int32_t> taskValue,
                   std::optional<std::int32_t> taskKey) {
    PoolCore& core = *self;
    if (address == 0 || core.state.load() != PoolState::Running) {
        return false;
    }
    core.queuedTasks.fetch_add(1);
    platform::CompletionPort* port = core.port.load();
    if (port == nullptr || !port->Post(static_cast<std::uint32_t>(taskValue.value_or(0)),
                                       static_cast<std::uint32_t>(taskKey.value_or(0)), address)) {
        core.queuedTasks.fetch_sub(1);
        return false;
    }
    return true;
}

bool Submit(PoolCore* self, TaskRoutine routine, std::optional<std::int32_t> taskValue,
            std::optional<std::int32_t> taskKey) {
    return SubmitAddress(self, reinterpret_cast<std::uintptr_t>(routine), taskValue, taskKey);
}

std::int32_t BusyCount(const PoolCore* self) {
    return self->busyTasks.load(std::memory_order_relaxed);
}

std::int32_t QueuedCount(const PoolCore* self) {
    return self->queuedTasks.load(std::memory_order_relaxed);
}

std::int32_t ThreadCount(const PoolCore* self) {
    return self->liveThreads.load(std::memory_order_relaxed);
}

std::int32_t IdleThreadCount(const PoolCore* self) {
    return ThreadCount(self) - BusyCount(self);
}

bool IsIdle(const PoolCore* self) {
    // Queued first, with acquire: a worker counts a task busy before it takes it
    // off the queue, so seeing it off the queue means seeing it busy.
    return self->queuedTasks.load(std::memory_order_acquire) == 0 &&
           self->busyTasks.load(std::memory_order_acquire) == 0;
}

std::int32_t GetState(const PoolCore* self) {
    return self->state.load(std::memory_order_relaxed);
}

template <typename Function>
MethodAddress Entry(Function function) {
    return reinterpret_cast<MethodAddress>(function);
}

// The pool's operation table: destruction, copy (pools are not copied), then
// the pool's own operations, WorkerLoop first. Built on first use, so a pool
// constructed during static initialisation still finds it.
const MethodTable& Operations() {
    static const std::array<MethodAddress, 13> entries = {
        Entry(&DestroyPool),   nullptr,
        Entry(&WorkerLoop),    Entry(&Create),
        Entry(&Stop),          Entry(&Submit),
        Entry(&SubmitAddress), Entry(&IdleThreadCount),
        Entry(&BusyCount),     Entry(&QueuedCount),
        Entry(&ThreadCount),   Entry(&IsIdle),
        Entry(&GetState),
    };
    static const MethodTable table{entries};
    return table;
}

constexpr std::int32_t kWorkerLoopMethod = 1;

}  // namespace

ThreadPool::ThreadPool() : ThreadPool(&platform::CreateNativeThread) {}

ThreadPool::ThreadPool(ThreadStarter starter) : core_(std::make_shared<PoolCore>()) {
    core_->operations = &Operations();
    core_->starter = std::move(starter);
    core_->self = core_;
    core_->thunk = BuildMethodThunk(core_.get(), kWorkerLoopMethod);
}

ThreadPool::~ThreadPool() {
    DestroyPool(core_.get());
}

bool ThreadPool::Create(std::optional<std::int32_t> threadCount,
                        std::optional<std::int32_t> processEvents,
                        std::optional<std::int32_t> stackSize) {
    return threadpool::Create(core_.get(), threadCount, processEvents, stackSize);
}

bool ThreadPool::Stop(std::optional<std::int32_t> mode, std::optional<std::int32_t> timeoutMs,
                      std::optional<std::int32_t> processEvents) {
    return threadpool::Stop(core_.get(), mode, timeoutMs, processEvents);
}

bool ThreadPool::Submit(TaskRoutine routine, std::optional<std::int32_t> taskValue,
                        std::optional<std::int32_t> taskKey) {
    return threadpool::Submit(core_.get(), routine, taskValue, taskKey);
}

bool ThreadPool::SubmitAddress(std::uintptr_t address, std::optional<std::int32_t> taskValue,
                               std::optional<std::int32_t> taskKey) {
    return threadpool::SubmitAddress(core_.get(), address, taskValue, taskKey);
}

std::int32_t ThreadPool::IdleThreadCount() const {
    return threadpool::IdleThreadCount(core_.get());
}
std::int32_t ThreadPool::BusyCount() const {
    return threadpool::BusyCount(core_.get());
}
std::int32_t ThreadPool::QueuedCount() const {
    return threadpool::QueuedCount(core_.get());
}
std::int32_t ThreadPool::ThreadCount() const {
    return threadpool::ThreadCount(core_.get());
}
bool ThreadPool::IsIdle() const {
    return threadpool::IsIdle(core_.get());
}
std::int32_t ThreadPool::GetState() const {
    return threadpool::GetState(core_.get());
}
std::uintptr_t ThreadPool::thunk() const {
    return core_->thunk;
}

}  // namespace melvara::threadpool
