#pragma once

// Routines that run once when the process ends, after the message loop: the
// last one registered runs first.

#include <functional>

namespace melvara::platform {

void RegisterExitRoutine(std::function<void()> routine);

// Runs every registered routine once, last registered first, and forgets it.
// A second call runs only what was registered since; a routine may register
// another, which then runs next.
void RunExitRoutines();

}  // namespace melvara::platform
