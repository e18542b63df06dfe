#include "app/link_claim.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

namespace melvara::app {
namespace {

void WaitForWaiters(std::size_t count) {
    while (LinkClaim::Waiting() != count) {
        std::this_thread::yield();
    }
}

TEST(LinkClaimTest, SameLinkWaitsOtherLinksDoNot) {
    std::optional<LinkClaim> first(std::in_place, "https://mp3.a/1.mp3");
    std::atomic<bool> released{false};
    std::atomic<bool> secondHeldEarly{false};
    std::thread second([&] {
        LinkClaim claim("https://mp3.a/1.mp3");
        secondHeldEarly = !released.load();
    });
    WaitForWaiters(1);
    {
        // A different link is not held up by the waiting claim.
        LinkClaim other("https://mp3.a/2.mp3");
    }
    released = true;
    first.reset();
    second.join();
    EXPECT_FALSE(secondHeldEarly);
    EXPECT_EQ(LinkClaim::Waiting(), 0u);
    // Released for good: it can be claimed again at once.
    LinkClaim again("https://mp3.a/1.mp3");
}

}  // namespace
}  // namespace melvara::app
