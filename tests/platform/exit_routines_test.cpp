#include "platform/exit_routines.h"

#include <gtest/gtest.h>

#include <string>

namespace melvara::platform {
namespace {

TEST(ExitRoutinesTest, LastRegisteredRunsFirstAndEachOnlyOnce) {
    std::string order;
    RegisterExitRoutine([&] { order += 'a'; });
    RegisterExitRoutine([&] { order += 'b'; });
    RegisterExitRoutine([&] {
        order += 'c';
        RegisterExitRoutine([&] { order += 'd'; });  // registered while running: runs next
    });
    RegisterExitRoutine(std::function<void()>());  // empty: ignored
    RunExitRoutines();
    EXPECT_EQ(order, "cdba");

    RunExitRoutines();
    EXPECT_EQ(order, "cdba");

    RegisterExitRoutine([&] { order += 'e'; });
    RunExitRoutines();
    EXPECT_EQ(order, "cdbae");
}

}  // namespace
}  // namespace melvara::platform
