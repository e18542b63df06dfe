#pragma once

#include <cstddef>

// Starting a detached thread on a plain routine with a chosen stack size.

namespace melvara::platform {

using ThreadRoutine = void* (*)(void* argument);

// The stack a thread gets for a requested size: 0 keeps the system default
// (returned as 0); anything else is rounded up to whole pages and to at least
// kMinimumThreadStack.
std::size_t ThreadStackSize(std::size_t requested);
inline constexpr std::size_t kMinimumThreadStack = 64 * 1024;

// Starts `routine(argument)` on a new detached thread, running at once. Threads
// started here are never joined. False when the thread could not be created.
bool CreateNativeThread(std::size_t stackSize, ThreadRoutine routine, void* argument);

}  // namespace melvara::platform
