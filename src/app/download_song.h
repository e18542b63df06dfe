#pragma once

// One download task: fetches a row's MP3 link, writes the song into the folder
// and records the outcome in the row's status column.

#include <cstdint>

#include "text/text_types.h"

namespace melvara::app {

// True when the link cell names an MP3 to fetch: not empty, and not the bare
// link markers the playlist job writes when a download page held no link.
bool HasSongLink(const Text& link);

// The task routine DownloadPool runs, on a worker: taskValue is the row,
// taskKey the list generation the row was submitted from. Rows of a replaced
// list, or of a window that is gone, are left alone.
void DownloadSong(std::int32_t row, std::int32_t generation);

// Tasks that have started and not yet ended.
int DownloadTasksRunning();

}  // namespace melvara::app
