// Sequential page fetches, as the playlist job makes them: one download page
// per song, one after another, from one host. Compares FetchWithWinHttp with
// the curl tool on the same local HTTPS server (keep-alive), and exits 1 when
// our median exceeds 1.3 times curl's reused-connection median.
//
//   fetch_bench [pages=500] [runs=5]

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "http/winhttp_fetch.h"
#include "loopback_server.h"
#include "platform/curl_global.h"
#include "test_certificates.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Wall-clock milliseconds of one run of f.
double Time(const std::function<bool()>& f, bool* ok) {
    const auto started = Clock::now();
    *ok = f() && *ok;
    return std::chrono::duration<double, std::milli>(Clock::now() - started).count();
}

bool RunCurl(const std::filesystem::path& config) {
    const std::string configText = config.string();
    std::vector<char*> argv = {const_cast<char*>("curl"),
                               const_cast<char*>("-s"),
                               const_cast<char*>("-f"),
                               const_cast<char*>("-K"),
                               const_cast<char*>(configText.c_str()),
                               nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A curl config: every URL with its output discarded, optionally asking the
// server to close the connection after each response.
std::filesystem::path WriteCurlConfig(const std::filesystem::path& dir, const char* name,
                                      const std::vector<std::string>& urls,
                                      const std::string& caFile, bool closeEach) {
    const auto path = dir / name;
    std::ofstream out(path);
    out << "cacert = \"" << caFile << "\"\n";
    if (closeEach) {
        out << "header = \"Connection: close\"\n";
    }
    for (const auto& url : urls) {
        out << "url = \"" << url << "\"\noutput = \"/dev/null\"\n";
    }
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    const melvara::platform::CurlGlobal curl;
    const int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    melvara::test::TrustTestCa();
    melvara::test::LoopbackServer server(melvara::test::TestCertificates());
    server.server().set_keep_alive_timeout(30);
    const std::string page =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
        "</head><body><a href=\"http://mp3.music.localhost/song.mp3\">mp3</a>" +
        std::string(2000, ' ') + "</body></html>";
    server.server().Get(R"(/down/(\d+)\.htm)",
                        [&](const httplib::Request&, httplib::Response& response) {
                            response.set_content(page, "text/html");
                        });
    server.Start();

    std::vector<std::string> urls;
    for (int i = 0; i < pages; ++i) {
        urls.push_back(server.Url("/down/" + std::to_string(i) + ".htm"));
    }
    const auto dir = std::filesystem::temp_directory_path() /
                     ("melvara-fetch-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string caFile = melvara::test::TestCertificates().caCertificate.string();
    const auto reusedConfig = WriteCurlConfig(dir, "reused.cfg", urls, caFile, false);
    const auto freshConfig = WriteCurlConfig(dir, "fresh.cfg", urls, caFile, true);

    const auto ours = [&] {
        for (const auto& url : urls) {
            melvara::Text status;
            const melvara::Text text =
                melvara::http::FetchWithWinHttp(url, {.statusText = &status});
            if (status != "200 OK" || text.size() != page.size()) {
                std::fprintf(stderr, "fetch of %s failed: %s\n", url.c_str(), status.c_str());
                return false;
            }
        }
        return true;
    };

    bool ok = true;
    std::vector<double> oursMs, reusedMs, freshMs;
    Time(ours, &ok);  // warm-up: TLS session, DNS, page cache
    for (int run = 0; run < runs; ++run) {
        oursMs.push_back(Time(ours, &ok));
        reusedMs.push_back(Time([&] { return RunCurl(reusedConfig); }, &ok));
        freshMs.push_back(Time([&] { return RunCurl(freshConfig); }, &ok));
    }
    std::filesystem::remove_all(dir);
    if (!ok) {
        std::fprintf(stderr, "a fetch failed; no figures\n");
        return 2;
    }

    const double ourMedian = Median(oursMs);
    const double reusedMedian = Median(reusedMs);
    const double freshMedian = Median(freshMs);
    const double ratio = ourMedian / reusedMedian;
    std::printf("%d pages, median of %d runs\n", pages, runs);
    std::printf("  FetchWithWinHttp, sequential:       %8.1f ms\n", ourMedian);
    std::printf("  curl, one reused connection:        %8.1f ms\n", reusedMedian);
    std::printf("  curl, a new connection per URL:     %8.1f ms\n", freshMedian);
    std::printf("  ratio ours / curl reused:           %8.2f (target <= 1.30): %s\n", ratio,
                ratio <= 1.3 ? "met" : "MISSED");
    return ratio <= 1.3 ? 0 : 1;
}
