#include "platform/com.h"

#include <gtest/gtest.h>

#include <thread>

namespace melvara::platform {
namespace {

TEST(ComTest, CountsPerThreadAndBalances) {
    ASSERT_EQ(ComInitCount(), 0);
    EXPECT_EQ(CoInitialize(), 0);
    EXPECT_EQ(CoInitialize(), 1);
    EXPECT_EQ(ComInitCount(), 2);

    int otherThreadCount = -1;
    long otherThreadResult = -1;
    std::thread other([&] {
        otherThreadResult = CoInitialize();
        otherThreadCount = ComInitCount();
        CoUninitialize();
    });
    other.join();
    EXPECT_EQ(otherThreadResult, 0);
    EXPECT_EQ(otherThreadCount, 1);

    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(ComInitCount(), 0);
    CoUninitialize();  // unbalanced: stays at zero
    EXPECT_EQ(ComInitCount(), 0);
    EXPECT_EQ(CoInitialize(), 0);
    CoUninitialize();
}

}  // namespace
}  // namespace melvara::platform
