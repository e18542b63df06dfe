// The program's own start-up with the jobs' hooks, driven like a user would:
// parse the playlist, download it, and close the window while a song is still
// downloading. Prints the monotonic time at which the window was closed, so the
// test that runs it can tell how long the process took to end after that.
//
//   jobs_exit_probe RUN_DIR FOLDER

#include <time.h>

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>

#include "app/download_song.h"
#include "app/job_hooks.h"
#include "app/main_window.h"
#include "app/playlist_job.h"
#include "app/startup.h"
#include "platform/curl_global.h"

namespace {

using melvara::app::MainWindow;

long long MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// Steps through the clicks, checking every few milliseconds whether the
// previous one has done its work.
class Script {
  public:
    explicit Script(QString folder) : folder_(std::move(folder)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Step(); });
    }

    void Start(MainWindow& window) {
        window_ = &window;
        timer_.start(5);
    }

  private:
    QString Status(int row) const {
        return window_->SongList()->topLevelItem(row)->text(melvara::app::kColumnStatus);
    }

    void Step() {
        if (window_.isNull()) {
            timer_.stop();
            return;
        }
        if (step_ == 0) {
            window_->ParseButton()->click();
            step_ = 1;
        } else if (step_ == 1 && melvara::app::ParseJobsRunning() == 0) {
            if (window_->SongList()->topLevelItemCount() != 3) {
                std::fprintf(stderr, "parse gave no 3 rows\n");
                QApplication::exit(2);
                return;
            }
            window_->FolderBox()->setText(folder_);
            window_->ThreadCountBox()->setText(QStringLiteral("3"));
            window_->DownloadButton()->click();
            step_ = 2;
        } else if (step_ == 2 && !Status(1).isEmpty() && !Status(2).isEmpty() &&
                   Status(0).isEmpty() && melvara::app::DownloadTasksRunning() == 1) {
            std::printf("closing_ns=%lld\n", MonotonicNs());
            std::fflush(stdout);
            timer_.stop();
            window_->close();
        }
    }

    QString folder_;
    QTimer timer_;
    QPointer<MainWindow> window_;
    int step_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: jobs_exit_probe RUN_DIR FOLDER\n");
        return 2;
    }
    const melvara::Text runDirectory = argv[1];
    // As main() does it: libcurl first, then the toolkit.
    const melvara::platform::CurlGlobal curl;
    QApplication application(argc, argv);
    Script script(QString::fromLocal8Bit(argv[2]));
    melvara::app::RegisterJobHooks();
    melvara::app::RegisterWindowHook([&script](MainWindow& window) { script.Start(window); });
    return melvara::app::RunStartup(runDirectory);
}
