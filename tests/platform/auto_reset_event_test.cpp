#include "platform/auto_reset_event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace melvara::platform {
namespace {

using namespace std::chrono_literals;

TEST(AutoResetEventTest, ASignalIsKeptForOneWaitAndThenResets) {
    AutoResetEvent event;
    EXPECT_FALSE(event.Wait(0ms));
    event.Set();
    event.Set();  // does not count twice
    EXPECT_TRUE(event.Wait(0ms));
    EXPECT_FALSE(event.Wait(1ms));
}

TEST(AutoResetEventTest, ResetDropsAPendingSignal) {
    AutoResetEvent event;
    event.Set();
    event.Reset();
    EXPECT_FALSE(event.Wait(0ms));
}

TEST(AutoResetEventTest, EachSetReleasesOneBlockedWaiter) {
    AutoResetEvent event;
    std::atomic<int> released{0};
    std::thread first([&] {
        event.Wait();
        ++released;
    });
    std::thread second([&] {
        event.Wait();
        ++released;
    });
    event.Set();
    while (released.load() == 0) {
        std::this_thread::yield();
    }
    // The released waiter consumed the signal.
    EXPECT_FALSE(event.Wait(0ms));
    EXPECT_EQ(released.load(), 1);
    event.Set();
    first.join();
    second.join();
    EXPECT_EQ(released.load(), 2);
}

}  // namespace
}  // namespace melvara::platform
