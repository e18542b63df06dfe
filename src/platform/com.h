#pragma once

// Stand-in for COM initialisation: a per-thread counter, so that balanced
// initialise/uninitialise pairs can be checked in tests.

namespace melvara::platform {

// Always succeeds here; returns 0 for the first call on a thread, 1 after.
long CoInitialize(void* reserved = nullptr);
void CoUninitialize();
// How many CoInitialize calls on this thread are not yet balanced.
int ComInitCount();

// Initialises COM for its lifetime on the constructing thread, so every way out
// of a call balances it.
class ComScope {
  public:
    ComScope();
    ~ComScope();
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
};

}  // namespace melvara::platform
