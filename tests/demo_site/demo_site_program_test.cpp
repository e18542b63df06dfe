#include "curl_fetch.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

extern char** environ;

namespace melvara::tools {
namespace {

using testing::CurlGet;
using testing::TempDir;

// melvara-demo-site run as a child process with its standard output on a pipe.
class SiteProcess {
  public:
    explicit SiteProcess(std::vector<std::string> arguments) {
        int fds[2];
        if (::pipe(fds) != 0) {
            return;
        }
        readFd_ = fds[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        arguments.insert(arguments.begin(), MELVARA_DEMO_SITE_PROGRAM);
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
    }
    ~SiteProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (readFd_ >= 0) {
            ::close(readFd_);
        }
    }
    SiteProcess(const SiteProcess&) = delete;
    SiteProcess& operator=(const SiteProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // The first line of output; "" when the program ends or stays silent for 60 s.
    std::string ReadLine() {
        std::string line;
        char c = 0;
        while (true) {
            pollfd fd{readFd_, POLLIN, 0};
            if (::poll(&fd, 1, 60000) <= 0 || ::read(readFd_, &c, 1) != 1) {
                return {};
            }
            if (c == '\n') {
                return line;
            }
            line.push_back(c);
        }
    }

    // Sends signal (when non-zero) and waits for the exit; the exit code, or -1.
    int Finish(int signal) {
        if (signal != 0) {
            ::kill(pid_, signal);
        }
        int status = 0;
        const pid_t waited = ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return waited > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int readFd_ = -1;
};

TEST(DemoSiteProgram, AnnouncesItselfServesAndEndsCleanlyOnSigterm) {
    TempDir dir;
    SiteProcess site({"--dir", dir.path().string(), "--songs", "3", "--size", "64KiB"});
    ASSERT_TRUE(site.started());
    const std::string line = site.ReadLine();
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, std::regex("port=(\\d+) playlist=(\\S+) ca=(.+)")))
        << line;
    EXPECT_EQ(match[2].str(), "https://music.localhost:" + match[1].str() + "/laoge/500shou.htm");
    EXPECT_EQ(match[3].str(), (dir.path() / "ca.pem").string());

    const auto playlist = CurlGet(match[2].str(), match[3].str());
    ASSERT_EQ(playlist.code, CURLE_OK);
    EXPECT_NE(playlist.body.find("测试歌曲 0003"), std::string::npos);
    const auto mp3 =
        CurlGet("https://mp3.music.localhost:" + match[1].str() + "/mp3/t0002.mp3", match[3].str());
    EXPECT_EQ(mp3.body.size(), 64u * 1024);

    EXPECT_EQ(site.Finish(SIGTERM), 0);
}

TEST(DemoSiteProgram, BadArgumentsEndWithAnErrorAndNoOutputLine) {
    SiteProcess site({"--size", "lots"});
    ASSERT_TRUE(site.started());
    EXPECT_EQ(site.ReadLine(), "");
    EXPECT_EQ(site.Finish(0), 2);
}

}  // namespace
}  // namespace melvara::tools
