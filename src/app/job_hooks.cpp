#include "app/job_hooks.h"

#include <QPushButton>

#include "app/download_job.h"
#include "app/download_pool.h"
#include "app/job_window.h"
#include "app/main_window.h"
#include "app/playlist_job.h"
#include "app/startup.h"

namespace melvara::app {

void ConnectJobs(MainWindow& window) {
    AttachJobWindow(window);
    const JobWindow jobWindow = CurrentJobWindow();
    QObject::connect(window.ParseButton(), &QPushButton::clicked, &window,
                     [jobWindow] { OnParseClicked(jobWindow); });
    QObject::connect(window.DownloadButton(), &QPushButton::clicked, &window,
                     [jobWindow] { OnDownloadClicked(jobWindow); });
}

void RegisterJobHooks() {
    RegisterStartupHook([] { InstallDownloadPool(); });
    RegisterWindowHook(ConnectJobs);
}

}  // namespace melvara::app
