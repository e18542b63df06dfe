// Drives the real window on the offscreen platform against a running demo
// site: parses its playlist, then downloads every song with the typed number of
// workers, and prints how long each took and the process's peak memory.
//
//   download_bench --out DIR [--threads N] [--links FILE] [--parse-only]
//
// The site comes from MELVARA_SITE_HOST and CURL_CA_BUNDLE, as for the
// program. --links writes the parsed MP3 links, one a line, for the peers that
// bench/download_bench.sh runs beside it.

#include <sys/resource.h>

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "app/download_pool.h"
#include "app/job_hooks.h"
#include "app/main_window.h"
#include "app/playlist_job.h"
#include "platform/curl_global.h"
#include "platform/exit_routines.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Arguments {
    std::string out;
    std::string threads = "5";
    std::string links;
    bool parseOnly = false;
};

bool Parse(int argc, char** argv, Arguments& arguments) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--parse-only") {
            arguments.parseOnly = true;
        } else if (i + 1 < argc && name == "--out") {
            arguments.out = argv[++i];
        } else if (i + 1 < argc && name == "--threads") {
            arguments.threads = argv[++i];
        } else if (i + 1 < argc && name == "--links") {
            arguments.links = argv[++i];
        } else {
            return false;
        }
    }
    return arguments.parseOnly || !arguments.out.empty();
}

long PeakRssKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Runs the event loop until done() holds, checking every few milliseconds.
template <class Done>
void WaitUntil(Done done) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done()) {
            loop.quit();
        }
    });
    check.start(2);
    if (!done()) {
        loop.exec();
    }
}

double Milliseconds(Clock::duration elapsed) {
    return std::chrono::duration<double, std::milli>(elapsed).count();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace melvara;
    Arguments arguments;
    if (!Parse(argc, argv, arguments)) {
        std::cerr << "usage: download_bench --out DIR [--threads N] [--links FILE] "
                     "[--parse-only]\n";
        return 2;
    }
    const platform::CurlGlobal curl;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    app::InstallDownloadPool();
    auto window = std::make_unique<app::MainWindow>();
    app::ConnectJobs(*window);
    window->show();
    QTreeWidget* list = window->SongList();

    const auto parseStart = Clock::now();
    window->ParseButton()->click();
    WaitUntil([] { return app::ParseJobsRunning() == 0; });
    const auto parseEnd = Clock::now();
    const int rows = list->topLevelItemCount();
    std::cout << "parse_ms=" << Milliseconds(parseEnd - parseStart) << " rows=" << rows
              << " requests=" << rows + 1 << std::endl;

    if (!arguments.links.empty()) {
        std::ofstream links(arguments.links);
        for (int row = 0; row < rows; ++row) {
            links << list->topLevelItem(row)->text(app::kColumnLink).toStdString() << '\n';
        }
    }
    if (arguments.parseOnly) {
        window.reset();
        platform::RunExitRoutines();
        return rows > 0 ? 0 : 1;
    }

    window->FolderBox()->setText(QString::fromStdString(arguments.out));
    window->ThreadCountBox()->setText(QString::fromStdString(arguments.threads));
    const long rssBeforeKib = PeakRssKib();
    int statuses = 0;
    const auto countStatuses = [&] {
        statuses = 0;
        for (int row = 0; row < rows; ++row) {
            statuses += list->topLevelItem(row)->text(app::kColumnStatus).isEmpty() ? 0 : 1;
        }
        return statuses == rows;
    };
    const auto downloadStart = Clock::now();
    window->DownloadButton()->click();
    WaitUntil(countStatuses);
    const auto downloadEnd = Clock::now();

    int done = 0;
    const QString success = QStringLiteral(u"下载成功");
    for (int row = 0; row < rows; ++row) {
        done += list->topLevelItem(row)->text(app::kColumnStatus) == success ? 1 : 0;
    }
    std::cout << "download_ms=" << Milliseconds(downloadEnd - downloadStart) << " done=" << done
              << "/" << rows << " peak_rss_kib=" << PeakRssKib()
              << " rss_before_download_kib=" << rssBeforeKib << std::endl;
    window.reset();
    platform::RunExitRoutines();
    return done == rows ? 0 : 1;
}
