#include "threadpool/thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/exec_memory.h"
#include "platform/message_pump.h"
#include "task_probe.h"
#include "threadpool/method_thunk.h"

namespace melvara::threadpool {
namespace {

using testing::BlockingTask;
using testing::Eventually;
using testing::RecordingTask;
using testing::Task;
using testing::TaskProbe;
using testing::WorkerSpawner;

class ThreadPoolTest : public ::testing::Test {
  protected:
    void SetUp() override { TaskProbe::Get().Reset(); }
    void TearDown() override {
        TaskProbe::Get().OpenGate();
        TaskProbe::Get().WaitQuiet();
    }
    TaskProbe& probe = TaskProbe::Get();
};

void ExpectStoppedAndEmpty(const ThreadPool& pool) {
    EXPECT_EQ(pool.GetState(), PoolState::Stopped);
    EXPECT_TRUE(pool.IsIdle());
    EXPECT_EQ(pool.ThreadCount(), 0);
    EXPECT_EQ(pool.BusyCount(), 0);
    EXPECT_EQ(pool.QueuedCount(), 0);
    EXPECT_EQ(pool.IdleThreadCount(), 0);
}

TEST_F(ThreadPoolTest, NeverCreatedPoolIsStoppedStopsAndRefusesTasks) {
    ThreadPool pool;
    if (kGeneratedThunks) {
        EXPECT_NE(pool.thunk(), 0u);
    }
    ExpectStoppedAndEmpty(pool);
    EXPECT_TRUE(pool.Stop());
    EXPECT_FALSE(pool.Submit(&RecordingTask, 1));
    EXPECT_FALSE(pool.SubmitAddress(reinterpret_cast<std::uintptr_t>(&RecordingTask)));
    ExpectStoppedAndEmpty(pool);
}

TEST_F(ThreadPoolTest, WithoutAThunkCreateFailsCleanly) {
    if (!kGeneratedThunks) {
        GTEST_SKIP() << "workers start through a fixed trampoline here";
    }
    WorkerSpawner spawner;
    platform::FailNextExecMemoryCreates(2);  // the epilogue, if not built yet, and the thunk
    ThreadPool pool(spawner.Starter());
    platform::FailNextExecMemoryCreates(0);
    ASSERT_EQ(pool.thunk(), 0u);
    EXPECT_FALSE(pool.Create(2));
    EXPECT_EQ(spawner.starts(), 0);
    ExpectStoppedAndEmpty(pool);
    EXPECT_TRUE(pool.Stop());
}

TEST_F(ThreadPoolTest, CreateStartsTheRequestedNumberOfWorkersBeforeReturning) {
    struct Case {
        std::optional<std::int32_t> requested;
        std::int32_t started;
    };
    const Case cases[] = {{std::nullopt, 5}, {0, 1}, {-3, 1}, {2, 2}, {12, 12}};
    ThreadPool pool;
    for (const Case& c : cases) {
        ASSERT_TRUE(pool.Create(c.requested)) << c.started;
        EXPECT_EQ(pool.GetState(), PoolState::Running);
        EXPECT_EQ(pool.ThreadCount(), c.started);
        EXPECT_EQ(pool.IdleThreadCount(), c.started);
        EXPECT_TRUE(pool.IsIdle());
        ASSERT_TRUE(pool.Stop());
        ExpectStoppedAndEmpty(pool);
    }
}

TEST_F(ThreadPoolTest, StackSizeIsRoundedBeforeTheThreadsGetIt) {
    struct Case {
        std::optional<std::int32_t> given;
        std::size_t expected;
    };
    const Case cases[] = {{std::nullopt, 0}, {0, 0},         {100, 8192},    {-5, 8192},
                          {10000, 8192},     {12288, 12288}, {12289, 12288}, {1 << 20, 1 << 20}};
    for (const Case& c : cases) {
        WorkerSpawner spawner;
        {
            ThreadPool pool(spawner.Starter());
            ASSERT_TRUE(pool.Create(2, std::nullopt, c.given));
            EXPECT_EQ(spawner.stackSizes(), (std::vector<std::size_t>{c.expected, c.expected}))
                << c.given.value_or(-1);
        }
    }
}

TEST_F(ThreadPoolTest, ThreadCreationGivesUpAfterFiveFailuresInARow) {
    struct Case {
        const char* script;
        std::int32_t requested;
        int attempts;
        std::int32_t workers;
    };
    const Case cases[] = {
        {"FFFFF", 12, 5, 0},        // nothing started: Create fails
        {"SFFFFF", 10, 6, 1},       // gives up, keeps the one it has
        {"FFFFSFFFFS", 10, 10, 2},  // a success resets the count
        {"SSFFFFSFFF", 10, 10, 3},  // never five in a row
    };
    for (const Case& c : cases) {
        WorkerSpawner spawner;
        spawner.Script(c.script);
        ThreadPool pool(spawner.Starter());
        EXPECT_EQ(pool.Create(c.requested), c.workers > 0) << c.script;
        EXPECT_EQ(spawner.starts(), c.attempts) << c.script;
        EXPECT_EQ(pool.ThreadCount(), c.workers) << c.script;
        if (c.workers == 0) {
            ExpectStoppedAndEmpty(pool);
        }
        EXPECT_TRUE(pool.Stop());
    }
}

TEST_F(ThreadPoolTest, CountsWithTwoTasksRunningAndThreeQueued) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(2));
    for (int i = 1; i <= 5; ++i) {
        ASSERT_TRUE(pool.Submit(&BlockingTask, i));
    }
    ASSERT_TRUE(probe.WaitStarted(2));
    EXPECT_EQ(pool.BusyCount(), 2);
    EXPECT_EQ(pool.QueuedCount(), 3);
    EXPECT_EQ(pool.IdleThreadCount(), 0);
    EXPECT_EQ(pool.ThreadCount(), 2);
    EXPECT_FALSE(pool.IsIdle());
    probe.OpenGate();
    ASSERT_TRUE(Eventually([&] { return pool.IsIdle(); }));
    EXPECT_EQ(probe.finished().size(), 5u);
}

TEST_F(ThreadPoolTest, CreateOnARunningPoolChangesNothing) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(2));
    ASSERT_TRUE(pool.Submit(&BlockingTask, 1));
    ASSERT_TRUE(pool.Submit(&BlockingTask, 2));
    ASSERT_TRUE(pool.Submit(&BlockingTask, 3));
    ASSERT_TRUE(probe.WaitStarted(2));

    EXPECT_FALSE(pool.Create(5));
    EXPECT_EQ(pool.GetState(), PoolState::Running);
    EXPECT_EQ(pool.ThreadCount(), 2);
    EXPECT_EQ(pool.BusyCount(), 2);
    EXPECT_EQ(pool.QueuedCount(), 1);
    // Same port: the queued task still runs.
    probe.OpenGate();
    EXPECT_TRUE(pool.Stop(1));
    EXPECT_EQ(probe.finished().size(), 3u);
}

TEST_F(ThreadPoolTest, AStoppedPoolStartsAgainOnTheSameThunk) {
    ThreadPool pool;
    const std::uintptr_t thunk = pool.thunk();
    for (int round = 1; round <= 3; ++round) {
        ASSERT_TRUE(pool.Create(round));
        EXPECT_EQ(pool.ThreadCount(), round);
        EXPECT_EQ(pool.thunk(), thunk);
        ASSERT_TRUE(pool.Submit(&RecordingTask, round));
        ASSERT_TRUE(pool.Stop(1));
        ExpectStoppedAndEmpty(pool);
    }
    EXPECT_EQ(probe.finished(), (std::vector<Task>{{1, 0}, {2, 0}, {3, 0}}));
}

TEST_F(ThreadPoolTest, OneWorkerRunsTasksInSubmissionOrderWithTheirValues) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(1));
    std::vector<Task> expected = {{7, 0}, {INT32_MIN, INT32_MAX}, {-1, -1}, {0, 5}};
    ASSERT_TRUE(pool.Submit(&RecordingTask, 7));
    ASSERT_TRUE(pool.Submit(&RecordingTask, INT32_MIN, INT32_MAX));
    ASSERT_TRUE(pool.Submit(&RecordingTask, -1, -1));
    ASSERT_TRUE(pool.SubmitAddress(reinterpret_cast<std::uintptr_t>(&RecordingTask), 0, 5));
    for (std::int32_t i = 0; i < 1000; ++i) {
        ASSERT_TRUE(pool.Submit(&RecordingTask, i, -i));
        expected.emplace_back(i, -i);
    }
    ASSERT_TRUE(pool.Stop(1));
    EXPECT_EQ(probe.finished(), expected);
}

TEST_F(ThreadPoolTest, MissingRoutineIsRefusedAndNotCounted) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(1));
    EXPECT_FALSE(pool.Submit(nullptr, 1));
    EXPECT_FALSE(pool.SubmitAddress(0, 1));
    EXPECT_EQ(pool.QueuedCount(), 0);
    EXPECT_TRUE(pool.IsIdle());
}

TEST_F(ThreadPoolTest, IdleIsNeverReportedWhileASubmittedTaskIsUnfinished) {
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(4));
    int submitted = 0;
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < 200; ++i) {
            ASSERT_TRUE(pool.Submit(&RecordingTask, i));
            ++submitted;
        }
        ASSERT_TRUE(Eventually([&] { return pool.IsIdle(); }));
        ASSERT_EQ(probe.finished().size(), static_cast<std::size_t>(submitted));
    }
}

std::atomic<int> pumped{0};
void CountingPump() {
    ++pumped;
}

TEST_F(ThreadPoolTest, OnlyProcessEventsOnePumpsMessages) {
    platform::InstallMessagePump(&CountingPump);
    for (const std::int32_t value : {0, 2, -1}) {
        pumped = 0;
        ThreadPool pool;
        ASSERT_TRUE(pool.Create(3, value));
        EXPECT_TRUE(pool.Stop(0, 0, value));
        EXPECT_EQ(pumped.load(), 0) << value;
    }
    pumped = 0;
    ThreadPool pool;
    ASSERT_TRUE(pool.Create(3, 1));
    EXPECT_GE(pumped.load(), 3);  // at least once per thread started

    // Stop keeps pumping while it waits.
    ASSERT_TRUE(pool.Submit(&BlockingTask, 1));
    ASSERT_TRUE(probe.WaitStarted(1));
    pumped = 0;
    std::thread opener([&] {
        Eventually([] { return pumped.load() > 0; });
        TaskProbe::Get().OpenGate();
    });
    EXPECT_TRUE(pool.Stop(0, 0, 1));
    opener.join();
    EXPECT_GT(pumped.load(), 0);
    platform::InstallMessagePump(nullptr);
}

// Threads that come up after Create stopped waiting for them.

TEST_F(ThreadPoolTest, ALateThreadJoinsTheRunningPool) {
    WorkerSpawner spawner;
    spawner.Script("SH");
    ThreadPool pool(spawner.Starter());
    ASSERT_TRUE(pool.Create(2));  // waits out its limit for the held thread
    EXPECT_EQ(pool.ThreadCount(), 1);
    spawner.ReleaseHeld();
    ASSERT_TRUE(Eventually([&] { return pool.ThreadCount() == 2; }));
    ASSERT_TRUE(pool.Submit(&BlockingTask, 1));
    ASSERT_TRUE(pool.Submit(&BlockingTask, 2));
    EXPECT_TRUE(probe.WaitStarted(2));
    probe.OpenGate();
    EXPECT_TRUE(pool.Stop(1));
    ExpectStoppedAndEmpty(pool);
}

TEST_F(ThreadPoolTest, AThreadLateForAFailedStartLeavesThePoolAlone) {
    WorkerSpawner spawner;
    spawner.Script("H");
    ThreadPool pool(spawner.Starter());
    EXPECT_FALSE(pool.Create(1));
    ExpectStoppedAndEmpty(pool);
    ASSERT_TRUE(pool.Create(2));

    spawner.ReleaseHeld();  // the straggler from the failed start comes up now
    ASSERT_TRUE(Eventually([&] { return spawner.heldFinished() == 1; }));
    EXPECT_EQ(pool.ThreadCount(), 2);
    EXPECT_EQ(pool.GetState(), PoolState::Running);
    ASSERT_TRUE(pool.Submit(&BlockingTask, 1));
    ASSERT_TRUE(pool.Submit(&BlockingTask, 2));
    ASSERT_TRUE(probe.WaitStarted(2));
    probe.OpenGate();
    EXPECT_TRUE(pool.Stop(1));
    ExpectStoppedAndEmpty(pool);
}

}  // namespace
}  // namespace melvara::threadpool
