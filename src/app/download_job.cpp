#include "app/download_job.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>

#include "app/directories.h"
#include "app/download_pool.h"
#include "app/download_song.h"
#include "app/job_window.h"
#include "app/list_generation.h"
#include "app/main_window.h"
#include "app/song_status.h"
#include "app/thread_count_text.h"
#include "platform/gui_message_box.h"
#include "platform/gui_message_pump.h"
#include "threadpool/thread_pool.h"

namespace melvara::app {
namespace {

constexpr const char* kEmptyListText =
    "\xC4\xFA\xBB\xB9\xC3\xBB\xD3\xD0\xBB\xF1\xC8\xA1\xB8\xE8\xC7\xFA\xC1\xD0\xB1\xED";  // 您还没有获取歌曲列表
constexpr const char* kEmptyListTitle = "\xCE\xC2\xDC\xB0\xCC\xE1\xCA\xBE";  // 温馨提示

// More workers than this only add threads that wait for the same disk and
// network; a huge number typed into the box would instead stall the window
// while the threads are made, or exhaust the system.
constexpr int kMaxWorkers = 64;

// While every worker is busy, the tasks need this thread to serve their
// reads and writes of the window, so the wait keeps its messages flowing.
void WaitForIdleWorker(const threadpool::ThreadPool& pool, const JobWindow& window,
                       std::int32_t generation) {
    while (pool.ThreadCount() > 0 && pool.BusyCount() == pool.ThreadCount() &&
           CurrentListGeneration() == generation && window.Showing()) {
        platform::ProcessGuiMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace

void OnDownloadClicked(const JobWindow& window) {
    if (window.controls.RowCount() == 0) {
        platform::MessageBox(kEmptyListText, kEmptyListTitle,
                             platform::kMbOk | platform::kMbIconWarning);
        return;
    }
    DownloadAll(window);
}

void DownloadAll(const JobWindow& window) {
    const Text folder = window.controls.EditText(EditRole::FolderBox);
    if (!IsDirectory(folder)) {
        EnsureDirectory(folder);  // a failure shows in the rows: their writes fail
    }
    const int threadCount =
        std::min(ReadThreadCount(window.controls.EditText(EditRole::ThreadCountBox)), kMaxWorkers);
    threadpool::ThreadPool* pool = DownloadPool();
    if (pool != nullptr) {
        pool->Create(threadCount);  // a running pool keeps its workers
    }

    const std::int32_t generation = CurrentListGeneration();
    const int rows = window.controls.RowCount();
    for (int row = 0; row < rows; ++row) {
        if (CurrentListGeneration() != generation || !window.Showing()) {
            return;  // a new list or a closing window: these rows are gone
        }
        if (pool == nullptr || !pool->Submit(DownloadSong, row, generation)) {
            // No worker will ever take them: say so instead of waiting for good.
            for (int rest = row; rest < rows; ++rest) {
                window.controls.SetCellText(rest, kColumnStatus, Text(kStatusFailed));
            }
            return;
        }
        WaitForIdleWorker(*pool, window, generation);
    }
}

}  // namespace melvara::app
