#pragma once

// How the jobs join start-up: the download pool's start-up hook, and the
// window hook that connects the two buttons.

namespace melvara::app {

class MainWindow;

// Attaches the jobs to window and connects ParseButton and DownloadButton.
void ConnectJobs(MainWindow& window);

// Registers InstallDownloadPool as a start-up hook and ConnectJobs as a window
// hook; call before start-up runs.
void RegisterJobHooks();

}  // namespace melvara::app
