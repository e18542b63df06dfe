#include "platform/native_thread.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <cstddef>
#include <latch>

namespace melvara::platform {
namespace {

TEST(NativeThreadTest, StackSizesAreWholePagesAndNeverTiny) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    struct Case {
        std::size_t requested;
        std::size_t expected;
    };
    const Case cases[] = {
        {0, 0},  // system default
        {1, kMinimumThreadStack},
        {8192, kMinimumThreadStack},
        {kMinimumThreadStack + 1, kMinimumThreadStack + page},
        {1024 * 1024, 1024 * 1024},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ThreadStackSize(c.requested), c.expected) << c.requested;
    }
}

struct Probe {
    void* argument = nullptr;
    std::size_t stackSize = 0;
    std::latch done{1};
};

void* RecordStack(void* argument) {
    auto* probe = static_cast<Probe*>(argument);
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        pthread_attr_getstacksize(&attributes, &probe->stackSize);
        pthread_attr_destroy(&attributes);
    }
    probe->argument = argument;
    probe->done.count_down();
    return nullptr;
}

TEST(NativeThreadTest, RunsTheRoutineWithItsArgumentOnTheRequestedStack) {
    constexpr std::size_t kRequested = 512 * 1024;
    Probe chosen;
    Probe standard;
    ASSERT_TRUE(CreateNativeThread(kRequested, &RecordStack, &chosen));
    ASSERT_TRUE(CreateNativeThread(0, &RecordStack, &standard));
    chosen.done.wait();
    standard.done.wait();
    EXPECT_EQ(chosen.argument, &chosen);
    EXPECT_GE(chosen.stackSize, kRequested);
    // Sanitizers may add to a stack, but it stays well below the default.
    EXPECT_LT(chosen.stackSize, standard.stackSize);
}

TEST(NativeThreadTest, MissingRoutineIsRefused) {
    EXPECT_FALSE(CreateNativeThread(0, nullptr, nullptr));
}

}  // namespace
}  // namespace melvara::platform
