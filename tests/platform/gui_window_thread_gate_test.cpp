#include "platform/gui_window_thread_gate.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QObject>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace melvara::platform {
namespace {

using namespace std::chrono_literals;

// Upper bound for waits that must end; reaching it means the code under test hung.
constexpr auto kHang = 30s;

// Spins (without sleeping) until the gate holds n unserved requests.
void AwaitPending(const WindowThreadGate& gate, std::size_t n) {
    const auto deadline = std::chrono::steady_clock::now() + kHang;
    while (gate.PendingRequests() != n) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "request never arrived";
        std::this_thread::yield();
    }
}

TEST(WindowThreadGate, CallOnTheWindowThreadRunsDirectly) {
    QObject context;
    WindowThreadGate gate(&context);
    const WindowThreadCaller caller = gate.Caller();

    EXPECT_TRUE(caller.OnWindowThread());
    // No event loop runs here: a queued request would never be served.
    EXPECT_EQ(caller.Call([] { return 42; }), 42);
    int nested = 0;
    EXPECT_TRUE(caller.Run([&] { nested = caller.Call([] { return 7; }).value_or(-1); }));
    EXPECT_EQ(nested, 7);

    gate.Close();
    bool ran = false;
    EXPECT_FALSE(caller.Run([&] { ran = true; }));
    EXPECT_FALSE(ran);
    EXPECT_FALSE(caller.IsOpen());
}

TEST(WindowThreadGate, RequestsFromOtherThreadsRunOnTheWindowThread) {
    QObject context;
    WindowThreadGate gate(&context);
    const WindowThreadCaller caller = gate.Caller();
    const auto windowThread = std::this_thread::get_id();

    constexpr int kThreads = 4;
    constexpr int kCalls = 50;
    int counter = 0;  // touched only on the window thread: no lock on purpose
    std::atomic<int> wrongThread{0};
    std::atomic<int> wrongResult{0};
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&] {
            EXPECT_FALSE(caller.OnWindowThread());
            for (int i = 0; i < kCalls; ++i) {
                const auto answer = caller.Call([&] {
                    if (std::this_thread::get_id() != windowThread) {
                        ++wrongThread;
                    }
                    return ++counter;
                });
                if (!answer || *answer < 1) {
                    ++wrongResult;
                }
            }
            ++finished;
        });
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished == kThreads; }, 30000));
    for (auto& w : workers) {
        w.join();
    }
    EXPECT_EQ(counter, kThreads * kCalls);
    EXPECT_EQ(wrongThread, 0);
    EXPECT_EQ(wrongResult, 0);
    EXPECT_EQ(gate.PendingRequests(), 0u);
}

TEST(WindowThreadGate, ClosingReleasesAWaitingCallerAndDropsItsTask) {
    QObject context;
    WindowThreadGate gate(&context);
    const WindowThreadCaller caller = gate.Caller();
    std::atomic<bool> ran{false};

    auto waiting = std::async(std::launch::async, [&] { return caller.Run([&] { ran = true; }); });
    AwaitPending(gate, 1);
    gate.Close();  // the window thread never served the request

    ASSERT_EQ(waiting.wait_for(kHang), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
    // The request is still queued on the live context; serving it now must not
    // run a task whose caller has already gone on.
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);

    // Later requests are refused at once although nobody serves events.
    auto later = std::async(std::launch::async, [&] { return caller.Call([] { return 1; }); });
    ASSERT_EQ(later.wait_for(kHang), std::future_status::ready);
    EXPECT_FALSE(later.get().has_value());
}

TEST(WindowThreadGate, DestroyingTheContextClosesTheGate) {
    auto context = std::make_unique<QObject>();
    WindowThreadGate gate(context.get());
    const WindowThreadCaller caller = gate.Caller();

    auto waiting = std::async(std::launch::async, [&] { return caller.Run([] {}); });
    AwaitPending(gate, 1);
    context.reset();

    ASSERT_EQ(waiting.wait_for(kHang), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
    EXPECT_FALSE(caller.IsOpen());
    EXPECT_EQ(gate.PendingRequests(), 0u);
}

TEST(WindowThreadGate, EndOfTheEventLoopClosesTheGate) {
    QObject context;
    WindowThreadGate gate(&context);
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    EXPECT_FALSE(gate.Caller().IsOpen());
}

TEST(WindowThreadGate, CallerWithoutGateRefuses) {
    const WindowThreadCaller caller;
    EXPECT_FALSE(caller.Run([] {}));
    EXPECT_FALSE(caller.IsOpen());
    EXPECT_FALSE(caller.OnWindowThread());
}

// Shutdown under load: callers hammer the gate while the window thread serves
// a few requests and then closes; every caller must come back.
TEST(WindowThreadGate, CloseWhileCallersHammerNeverStrandsOne) {
    for (int round = 0; round < 100; ++round) {
        auto context = std::make_unique<QObject>();
        auto gate = std::make_unique<WindowThreadGate>(context.get());
        const WindowThreadCaller caller = gate->Caller();
        std::atomic<int> served{0};
        std::vector<std::thread> workers;
        for (int t = 0; t < 3; ++t) {
            workers.emplace_back([&] {
                while (caller.Run([&] { ++served; })) {
                }
            });
        }
        const int target = round % 5;
        ASSERT_TRUE(QTest::qWaitFor([&] { return served >= target; }, 30000));
        if (round % 2 == 0) {
            gate.reset();
        } else {
            context.reset();
        }
        for (auto& w : workers) {
            w.join();
        }
        QCoreApplication::processEvents();  // discard what is left for the context
    }
}

}  // namespace
}  // namespace melvara::platform
