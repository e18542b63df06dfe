#pragma once

// DownloadPool: the process-wide pool that runs the download tasks. The
// start-up hook makes it, the exit routine releases it; between the two it is
// started by the first download and reused by every later one.

#include <functional>
#include <memory>

namespace melvara::threadpool {
class ThreadPool;
}

namespace melvara::app {

// The start-up hook: constructs DownloadPool in its stopped state and registers
// ReleaseDownloadPool as an exit routine.
void InstallDownloadPool();
// The same with a pool made elsewhere (tests make one whose workers cannot start).
void InstallDownloadPool(std::unique_ptr<threadpool::ThreadPool> downloadPool);

// The exit routine: stops the pool without waiting for its workers, keeps
// tasks still running from writing any more files, waits a short while for
// files being written right now, and frees the pool. Idempotent.
void ReleaseDownloadPool();

// The pool, or nullptr outside InstallDownloadPool .. ReleaseDownloadPool.
threadpool::ThreadPool* DownloadPool();

// Runs write() unless the pool is being released, and counts it as a write in
// progress for ReleaseDownloadPool. False when write() did not run or failed.
bool WriteUnlessReleased(const std::function<bool()>& write);

}  // namespace melvara::app
