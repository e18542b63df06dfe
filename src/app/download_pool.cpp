#include "app/download_pool.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <utility>

#include "platform/exit_routines.h"
#include "threadpool/thread_pool.h"

namespace melvara::app {
namespace {

// How long the exit routine lets files that are being written right now
// finish, so that the process still ends promptly when a disk stalls.
constexpr auto kWriteGrace = std::chrono::milliseconds(1500);

std::unique_ptr<threadpool::ThreadPool> pool;
std::atomic<bool> released{false};
std::atomic<int> writesInProgress{0};

}  // namespace

void InstallDownloadPool() {
    InstallDownloadPool(std::make_unique<threadpool::ThreadPool>());
}

void InstallDownloadPool(std::unique_ptr<threadpool::ThreadPool> downloadPool) {
    released = false;
    pool = std::move(downloadPool);
    platform::RegisterExitRoutine([] { ReleaseDownloadPool(); });
}

void ReleaseDownloadPool() {
    // Tasks that finish their fetch from now on write nothing; a file already
    // being written is completed (or its temporary removed) by its writer.
    released = true;
    pool.reset();
    const auto deadline = std::chrono::steady_clock::now() + kWriteGrace;
    while (writesInProgress.load() > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

threadpool::ThreadPool* DownloadPool() {
    return pool.get();
}

bool WriteUnlessReleased(const std::function<bool()>& write) {
    // Counted before the flag is read, so the exit routine either sees this
    // write in progress or this write sees the flag.
    writesInProgress.fetch_add(1);
    bool written = false;
    if (!released.load()) {
        written = write();
    }
    writesInProgress.fetch_sub(1);
    return written;
}

}  // namespace melvara::app
