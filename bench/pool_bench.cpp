// Thread pool throughput beside a plain baseline pool doing the same work.
//
//   pool_bench [--benchmark_repetitions=5] [--benchmark_filter=...]
//
// Empty tasks: 1,000,000 submitted to 2 workers, then wait until idle; the
// time per task is the pool's overhead. Work tasks: 10,000 tasks of ~50 us of
// computation on 1, 2 and 4 workers. After the runs it prints the ratios the
// pool is held to: overhead no worse than 1.2x the baseline's, and 2 workers
// at least 1.8x the throughput of 1 on the 50 us workload.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "threadpool/thread_pool.h"

namespace {

using melvara::threadpool::TaskRoutine;
using melvara::threadpool::ThreadPool;

constexpr std::int32_t kEmptyTasks = 1'000'000;
constexpr std::int32_t kWorkTasks = 10'000;

// ~50 us of arithmetic, calibrated once, so that a descheduled thread does not
// count as work done.
std::atomic<std::uint64_t> spinsFor50us{0};
std::atomic<std::uint64_t> sink{0};

std::uint64_t Spin(std::uint64_t rounds) {
    std::uint64_t x = 0x9E3779B97F4A7C15ULL;
    for (std::uint64_t i = 0; i < rounds; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
    }
    return x;
}

void Calibrate() {
    constexpr std::uint64_t kProbe = 2'000'000;
    auto best = std::chrono::nanoseconds::max();
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        sink += Spin(kProbe);
        best = std::min(best, std::chrono::steady_clock::now() - start);
    }
    spinsFor50us = kProbe * 50'000 / static_cast<std::uint64_t>(best.count());
}

void EmptyTask(std::int32_t, std::int32_t) {}
void WorkTask(std::int32_t, std::int32_t) {
    sink.fetch_add(Spin(spinsFor50us.load()) & 1);
}

void WaitUntil(const auto& idle) {
    while (!idle()) {
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

// The baseline: one queue behind one mutex, one condition variable.
class BaselinePool {
  public:
    explicit BaselinePool(int threads) {
        for (int i = 0; i < threads; ++i) {
            workers_.emplace_back([this] { Work(); });
        }
    }
    ~BaselinePool() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        ready_.notify_all();
        for (auto& worker : workers_) {
            worker.join();
        }
    }
    void Submit(TaskRoutine routine, std::int32_t value, std::int32_t key) {
        pending_.fetch_add(1);
        {
            std::lock_guard lock(mutex_);
            queue_.push_back({routine, value, key});
        }
        ready_.notify_one();
    }
    bool IsIdle() const { return pending_.load() == 0; }

  private:
    struct Task {
        TaskRoutine routine;
        std::int32_t value;
        std::int32_t key;
    };
    void Work() {
        for (;;) {
            Task task{};
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (queue_.empty()) {
                    return;
                }
                task = queue_.front();
                queue_.pop_front();
            }
            task.routine(task.value, task.key);
            pending_.fetch_sub(1);
        }
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Task> queue_;
    bool stopping_ = false;
    std::atomic<std::int64_t> pending_{0};
    std::vector<std::thread> workers_;
};

// CPU time of every thread of the process. Unlike wall time it hardly moves
// when other programs compete for the processors.
double ProcessCpuNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

template <typename Pool>
void RunTasks(benchmark::State& state, Pool& pool, TaskRoutine routine, std::int32_t tasks) {
    const double cpuBefore = ProcessCpuNanoseconds();
    for (auto _ : state) {
        for (std::int32_t i = 0; i < tasks; ++i) {
            pool.Submit(routine, i, 0);
        }
        WaitUntil([&] { return pool.IsIdle(); });
    }
    const double perTask = static_cast<double>(state.iterations()) * tasks;
    state.counters["cpu_ns_per_task"] = (ProcessCpuNanoseconds() - cpuBefore) / perTask;
    state.SetItemsProcessed(state.iterations() * tasks);
}

void PoolTasks(benchmark::State& state, TaskRoutine routine, std::int32_t tasks) {
    ThreadPool pool;
    if (!pool.Create(static_cast<std::int32_t>(state.range(0)))) {
        state.SkipWithError("the pool did not start");
        return;
    }
    RunTasks(state, pool, routine, tasks);
    pool.Stop(0);
}

void BaselineTasks(benchmark::State& state, TaskRoutine routine, std::int32_t tasks) {
    BaselinePool pool(static_cast<int>(state.range(0)));
    RunTasks(state, pool, routine, tasks);
}

void BM_PoolEmpty(benchmark::State& state) {
    PoolTasks(state, &EmptyTask, kEmptyTasks);
}
void BM_BaselineEmpty(benchmark::State& state) {
    BaselineTasks(state, &EmptyTask, kEmptyTasks);
}
void BM_PoolWork50us(benchmark::State& state) {
    PoolTasks(state, &WorkTask, kWorkTasks);
}
void BM_BaselineWork50us(benchmark::State& state) {
    BaselineTasks(state, &WorkTask, kWorkTasks);
}

BENCHMARK(BM_PoolEmpty)->Arg(2)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BaselineEmpty)->Arg(2)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PoolWork50us)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BaselineWork50us)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Keeps each benchmark's real time per iteration and process CPU time per task
// (the fastest repetition of each) so the ratios can be printed.
class RecordingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
                // The fastest repetition: other load on the machine only adds time.
                const std::string name = run.run_name.function_name + "/" + run.run_name.args;
                Keep(name, run.GetAdjustedRealTime());
                const auto cpu = run.counters.find("cpu_ns_per_task");
                if (cpu != run.counters.end()) {
                    Keep(name + "/cpu", cpu->second.value);
                }
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;

  private:
    void Keep(const std::string& name, double value) {
        const auto [entry, inserted] = times.emplace(name, value);
        if (!inserted) {
            entry->second = std::min(entry->second, value);
        }
    }
};

void PrintRatio(const RecordingReporter& reporter, const char* what, const std::string& numerator,
                const std::string& denominator, const char* target) {
    const auto top = reporter.times.find(numerator);
    const auto bottom = reporter.times.find(denominator);
    if (top == reporter.times.end() || bottom == reporter.times.end() || bottom->second == 0) {
        return;
    }
    std::printf("%-52s %6.2f  (target %s)\n", what, top->second / bottom->second, target);
}

}  // namespace

int main(int argc, char** argv) {
    Calibrate();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\n");
    PrintRatio(reporter, "empty tasks: pool time / baseline time", "BM_PoolEmpty/2",
               "BM_BaselineEmpty/2", "<= 1.2");
    PrintRatio(reporter, "empty tasks: pool CPU / baseline CPU (all threads)", "BM_PoolEmpty/2/cpu",
               "BM_BaselineEmpty/2/cpu", "<= 1.2");
    PrintRatio(reporter, "50 us tasks: pool 1-worker time / 2-worker time", "BM_PoolWork50us/1",
               "BM_PoolWork50us/2", ">= 1.8");
    PrintRatio(reporter, "50 us tasks: baseline 1-worker time / 2-worker time",
               "BM_BaselineWork50us/1", "BM_BaselineWork50us/2", "reference");
    return 0;
}
