#pragma once

// The song download job: DownloadButton downloads every row of the song list
// into the folder in FolderBox, several songs at a time on DownloadPool.

namespace melvara::app {

struct JobWindow;

// The click handler, on the window's thread: the empty-list message when the
// list has no rows, DownloadAll otherwise.
void OnDownloadClicked(const JobWindow& window);

// On the window's thread: makes the folder, starts DownloadPool with the typed
// thread count (at most 64), and submits one DownloadSong per row, waiting (with the
// window's messages flowing) while every worker is busy. Stops when the list is
// replaced or the window closes; rows that cannot be submitted read "下载失败".
void DownloadAll(const JobWindow& window);

}  // namespace melvara::app
