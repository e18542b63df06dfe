#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "task_probe.h"
#include "threadpool/thread_pool.h"

namespace melvara::threadpool {
namespace {

using testing::BlockingTask;
using testing::Eventually;
using testing::RecordingTask;
using testing::TaskProbe;
using testing::WorkerSpawner;

class ThreadPoolStopTest : public ::testing::Test {
  protected:
    void SetUp() override { TaskProbe::Get().Reset(); }
    void TearDown() override {
        TaskProbe::Get().OpenGate();
        TaskProbe::Get().WaitQuiet();
    }

    // Two workers held in their tasks, three more tasks queued behind them.
    void StartTwoBusyThreeQueued(ThreadPool& pool) {
        ASSERT_TRUE(pool.Create(2));
        for (int i = 1; i <= 5; ++i) {
            ASSERT_TRUE(pool.Submit(&BlockingTask, i));
        }
        ASSERT_TRUE(probe.WaitStarted(2));
    }

    // Opens the gate once Stop has begun, from another thread.
    std::thread OpenGateWhenStopping(const ThreadPool& pool) {
        return std::thread([&pool] {
            Eventually([&pool] { return pool.GetState() == PoolState::Stopping; });
            TaskProbe::Get().OpenGate();
        });
    }

    TaskProbe& probe = TaskProbe::Get();
};

TEST_F(ThreadPoolStopTest, WaitingModesRunOrDropTheQueuedTasks) {
    struct Case {
        std::int32_t mode;
        std::size_t tasksRun;
    };
    // Unknown modes count as 0.
    const Case cases[] = {{0, 2}, {1, 5}, {7, 2}, {-1, 2}};
    for (const Case& c : cases) {
        probe.Reset();
        ThreadPool pool;
        StartTwoBusyThreeQueued(pool);
        std::thread opener = OpenGateWhenStopping(pool);
        EXPECT_TRUE(pool.Stop(c.mode)) << c.mode;
        opener.join();
        EXPECT_EQ(probe.finished().size(), c.tasksRun) << c.mode;
        EXPECT_EQ(pool.GetState(), PoolState::Stopped);
        EXPECT_EQ(pool.QueuedCount(), 0);
        EXPECT_EQ(pool.ThreadCount(), 0);
        EXPECT_TRUE(pool.IsIdle());
        EXPECT_FALSE(pool.Submit(&RecordingTask, 1));
    }
}

TEST_F(ThreadPoolStopTest, NonWaitingModesReturnAtOnceAndTheWorkersLeaveLater) {
    struct Case {
        std::int32_t mode;
        std::size_t tasksRun;
    };
    const Case cases[] = {{2, 2}, {3, 5}};
    for (const Case& c : cases) {
        probe.Reset();
        ThreadPool pool;
        StartTwoBusyThreeQueued(pool);
        EXPECT_TRUE(pool.Stop(c.mode));  // returns with both tasks still held
        EXPECT_EQ(pool.GetState(), PoolState::Stopping);
        // Nothing else may start or stop it meanwhile.
        EXPECT_FALSE(pool.Stop(0));
        EXPECT_FALSE(pool.Create(1));
        EXPECT_FALSE(pool.Submit(&RecordingTask, 1));
        probe.OpenGate();
        ASSERT_TRUE(Eventually([&] { return pool.GetState() == PoolState::Stopped; }));
        EXPECT_EQ(probe.finished().size(), c.tasksRun) << c.mode;
        EXPECT_EQ(pool.QueuedCount(), 0);
        EXPECT_EQ(pool.ThreadCount(), 0);
    }
}

TEST_F(ThreadPoolStopTest, TimedOutStopReturnsFalseAndThePoolStillStops) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(1));
    ASSERT_TRUE(pool.Submit(&BlockingTask, 1));
    ASSERT_TRUE(probe.WaitStarted(1));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(pool.Stop(0, 100));
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(100));
    EXPECT_EQ(pool.GetState(), PoolState::Stopping);
    probe.OpenGate();
    ASSERT_TRUE(Eventually([&] { return pool.GetState() == PoolState::Stopped; }));
    EXPECT_EQ(probe.finished().size(), 1u);
    // And it can be started again.
    EXPECT_TRUE(pool.Create(1));
}

// Destruction does not wait: the owner frees the pool while its workers are
// still inside tasks, or not even started yet. Run under AddressSanitizer, any
// touch of released memory by a leaving worker fails the test.
TEST_F(ThreadPoolStopTest, DestroyingAPoolWhileTasksRunIsSafe) {
    struct Case {
        std::int32_t stopFirst;  // -1: destroy only
        std::size_t tasksRun;
    };
    const Case cases[] = {{-1, 3}, {3, 8}, {1, 8}};
    for (const Case& c : cases) {
        probe.Reset();
        WorkerSpawner spawner;
        auto pool = std::make_unique<ThreadPool>(spawner.Starter());
        ASSERT_TRUE(pool->Create(3));
        for (int i = 1; i <= 8; ++i) {
            ASSERT_TRUE(pool->Submit(&BlockingTask, i));
        }
        ASSERT_TRUE(probe.WaitStarted(3));
        if (c.stopFirst == 1) {
            EXPECT_FALSE(pool->Stop(1, 20));  // times out; the workers stay busy
        } else if (c.stopFirst >= 0) {
            EXPECT_TRUE(pool->Stop(c.stopFirst));
        }
        pool.reset();
        probe.OpenGate();
        spawner.JoinAll();  // every worker has left and released its share
        EXPECT_EQ(probe.finished().size(), c.tasksRun) << c.stopFirst;
    }
}

TEST_F(ThreadPoolStopTest, AThreadThatStartsAfterThePoolWasDestroyedLeavesQuietly) {
    WorkerSpawner spawner;
    spawner.Script("SH");
    auto pool = std::make_unique<ThreadPool>(spawner.Starter());
    ASSERT_TRUE(pool->Create(2));  // runs with one; the other has not started
    ASSERT_TRUE(pool->Submit(&BlockingTask, 1));
    ASSERT_TRUE(probe.WaitStarted(1));
    pool.reset();
    spawner.ReleaseHeld();  // enters the thunk of a pool its owner has freed
    probe.OpenGate();
    spawner.JoinAll();
    EXPECT_EQ(probe.finished().size(), 1u);
}

// Whether executable code is mapped at `address`. (A data mapping that reuses
// the address afterwards does not count.)
bool IsCodeMapped(std::uintptr_t address) {
    std::ifstream maps("/proc/self/maps");
    std::string range;
    std::string permissions;
    std::string rest;
    while (maps >> range >> permissions && std::getline(maps, rest)) {
        const auto dash = range.find('-');
        if (address >= std::stoull(range.substr(0, dash), nullptr, 16) &&
            address < std::stoull(range.substr(dash + 1), nullptr, 16)) {
            return permissions.find('x') != std::string::npos;
        }
    }
    return false;
}

TEST_F(ThreadPoolStopTest, ManyPoolsComeAndGoAndTheirThunksGoWithTheLastWorker) {
    for (int round = 0; round < 200; ++round) {
        WorkerSpawner spawner;
        auto pool = std::make_unique<ThreadPool>(spawner.Starter());
        ASSERT_TRUE(pool->Create(2));
        for (int i = 0; i < 20; ++i) {
            ASSERT_TRUE(pool->Submit(&RecordingTask, i));
        }
        const std::uintptr_t thunk = pool->thunk();
        pool.reset();  // mode 2: queued tasks are dropped, nobody waits
        spawner.JoinAll();
        if (thunk != 0) {
            ASSERT_FALSE(IsCodeMapped(thunk)) << round;
        }
    }
}

}  // namespace
}  // namespace melvara::threadpool
