#pragma once

// Stand-in for COM initialisation: a per-thread counter, so that balanced
// initialise/uninitialise pairs can be checked in tests.

namespace melvara::platform {

// Always succeeds here; returns 0 for the first call on a thread, 1 after.
long CoInitialize(void* reserved = nullptr);
void CoUninitialize();
// How many CoInitialize calls on this thread are not yet balanced.
int ComInitCount();

}  // namespace melvara::platform
