#include "platform/completion_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace melvara::platform {
namespace {

using namespace std::chrono_literals;

// Spins until `condition` holds; fails instead of hanging when it never does.
template <typename Condition>
bool Eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

TEST(CompletionPortTest, PacketsComeOutInPostingOrderWithEveryFieldIntact) {
    CompletionPort port;
    const std::uintptr_t far = ~std::uintptr_t{0} - 1;
    ASSERT_TRUE(port.Post(0xFFFFFFFF, far, 0x1234));
    ASSERT_TRUE(port.Post(7, 0, far));
    ASSERT_TRUE(port.Post(0, 42, 1));

    const auto first = port.Take();
    const auto second = port.Take();
    const auto third = port.Take(0ms);
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(first->bytesTransferred, 0xFFFFFFFFu);
    EXPECT_EQ(first->completionKey, far);
    EXPECT_EQ(first->overlapped, 0x1234u);
    EXPECT_EQ(second->bytesTransferred, 7u);
    EXPECT_EQ(second->overlapped, far);
    EXPECT_EQ(third->completionKey, 42u);
    EXPECT_FALSE(port.Take(0ms));
}

TEST(CompletionPortTest, OrderSurvivesWrapAroundAndGrowth) {
    // Move the ring's head first, so growing has to unwrap it.
    CompletionPort port;
    std::uint32_t next = 0;
    std::uint32_t expected = 0;
    for (int i = 0; i < 700; ++i) {
        ASSERT_TRUE(port.Post(next++, 0, 1));
    }
    for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(port.Take(0ms)->bytesTransferred, expected++);
    }
    for (int i = 0; i < 5000; ++i) {
        ASSERT_TRUE(port.Post(next++, 0, 1));
    }
    EXPECT_EQ(port.QueuedPackets(), 5200u);
    while (const auto packet = port.Take(0ms)) {
        ASSERT_EQ(packet->bytesTransferred, expected++);
    }
    EXPECT_EQ(expected, next);
}

TEST(CompletionPortTest, TakeWithTimeoutOnAnEmptyPortFailsButLeavesItOpen) {
    CompletionPort port;
    EXPECT_FALSE(port.Take(5ms));
    EXPECT_FALSE(port.IsClosed());
    EXPECT_TRUE(port.Post(1, 1, 1));
    EXPECT_TRUE(port.Take(5ms));
}

TEST(CompletionPortTest, ClosingWakesEveryWaiterWithFailureAndRefusesPosts) {
    CompletionPort port;
    ASSERT_TRUE(port.Post(9, 9, 9));  // dropped by the close
    ASSERT_TRUE(port.Take(0ms));
    std::atomic<int> failed{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            if (!port.Take()) {
                ++failed;
            }
        });
    }
    ASSERT_TRUE(Eventually([&] { return port.Waiters() == 3; }));
    port.Close();
    for (auto& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(failed, 3);
    EXPECT_TRUE(port.IsClosed());
    EXPECT_FALSE(port.Post(1, 1, 1));
    EXPECT_FALSE(port.Take(0ms));
}

TEST(CompletionPortTest, ReopenGivesAnEmptyWorkingPort) {
    CompletionPort port;
    ASSERT_TRUE(port.Post(1, 1, 1));
    port.Close();
    port.Reopen();
    EXPECT_FALSE(port.IsClosed());
    EXPECT_EQ(port.QueuedPackets(), 0u);
    EXPECT_TRUE(port.Post(2, 2, 2));
    EXPECT_EQ(port.Take(0ms)->bytesTransferred, 2u);
}

TEST(CompletionPortTest, EachPacketGoesToExactlyOneTaker) {
    constexpr std::uint32_t kPackets = 20000;
    CompletionPort port;
    std::vector<std::vector<std::uint32_t>> taken(4);
    std::vector<std::thread> takers;
    for (auto& mine : taken) {
        takers.emplace_back([&port, &mine] {
            while (const auto packet = port.Take()) {
                if (packet->overlapped == 0) {
                    break;  // end marker, one per taker
                }
                mine.push_back(packet->bytesTransferred);
            }
        });
    }
    for (std::uint32_t i = 0; i < kPackets; ++i) {
        ASSERT_TRUE(port.Post(i, 0, 1));
    }
    for (std::size_t i = 0; i < takers.size(); ++i) {
        ASSERT_TRUE(port.Post(0, 0, 0));
    }
    for (auto& taker : takers) {
        taker.join();
    }

    std::vector<std::uint32_t> all;
    for (const auto& mine : taken) {
        // A single taker sees its packets in posting order.
        EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end()));
        all.insert(all.end(), mine.begin(), mine.end());
    }
    std::sort(all.begin(), all.end());
    ASSERT_EQ(all.size(), kPackets);
    for (std::uint32_t i = 0; i < kPackets; ++i) {
        ASSERT_EQ(all[i], i);
    }
}

}  // namespace
}  // namespace melvara::platform
