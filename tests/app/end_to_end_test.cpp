// Both jobs end to end: the real window on the offscreen platform, its buttons
// clicked, against the demo music site on 127.0.0.1.

#include <gtest/gtest.h>
#include <time.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/download_pool.h"
#include "app/download_song.h"
#include "app/job_hooks.h"
#include "app/main_window.h"
#include "app/playlist_job.h"
#include "demo_site/demo_site.h"
#include "demo_site/mp3_body.h"
#include "demo_site/site_pages.h"
#include "platform/exit_routines.h"
#include "threadpool/thread_pool.h"

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace melvara::app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tools::Mp3Behaviour;
using tools::PageEncoding;
using tools::Song;

constexpr int kWaitMs = 60000;

QString U(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

const QString kDone = QStringLiteral(u"下载成功");
const QString kFailed = QStringLiteral(u"下载失败");
const QString kNoLink = QStringLiteral(u"解析失败");

class TempDir {
  public:
    TempDir()
        : path_(fs::temp_directory_path() /
                ("melvara-jobs-" + std::to_string(std::random_device{}()))) {
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

Song MakeSong(std::string id, std::string name, std::size_t size = 64 * 1024) {
    Song song;
    song.id = std::move(id);
    song.name = std::move(name);
    song.mp3Size = size;
    return song;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// File name (UTF-8) -> contents, for every entry of the folder.
std::map<std::string, std::string> FolderContents(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files[entry.path().filename().string()] = ReadFile(entry.path());
    }
    return files;
}

std::string Repeat(const std::string& unit, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += unit;
    }
    return out;
}

class JobsTest : public testing::Test {
  protected:
    void StartSite(std::vector<Song> catalogue) {
        tools::DemoSiteOptions options;
        options.catalogue = std::move(catalogue);
        options.certificateDir = temp_.path() / "certs";
        site_ = std::make_unique<tools::DemoSite>(options);
        site_->Start();
        setenv("MELVARA_SITE_HOST", site_->SiteHost().c_str(), 1);
        setenv("CURL_CA_BUNDLE", site_->CaFile().c_str(), 1);
    }

    // What start-up does, with the window's creation handler left out.
    void OpenWindow(std::unique_ptr<threadpool::ThreadPool> pool = nullptr) {
        if (pool) {
            InstallDownloadPool(std::move(pool));
        } else {
            InstallDownloadPool();
        }
        window_ = std::make_unique<MainWindow>();
        ConnectJobs(*window_);
        window_->show();
    }

    void TearDown() override {
        window_.reset();
        platform::RunExitRoutines();
        site_.reset();  // cuts slow responses short
        EXPECT_TRUE(QTest::qWaitFor(
            [] { return ParseJobsRunning() == 0 && DownloadTasksRunning() == 0; }, kWaitMs));
    }

    void SetBox(QLineEdit* box, const QString& text) { box->setText(text); }

    void ClickParseAndWait() {
        QTest::mouseClick(window_->ParseButton(), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([] { return ParseJobsRunning() == 0; }, kWaitMs));
    }

    void ClickDownload() { QTest::mouseClick(window_->DownloadButton(), Qt::LeftButton); }

    // Every task submitted so far has ended.
    static bool DownloadsSettled() {
        threadpool::ThreadPool* pool = DownloadPool();
        return (pool == nullptr || pool->IsIdle()) && DownloadTasksRunning() == 0;
    }

    void ClickDownloadAndWait() {
        ClickDownload();
        ASSERT_TRUE(QTest::qWaitFor(&JobsTest::DownloadsSettled, kWaitMs));
    }

    int Rows() const { return window_->SongList()->topLevelItemCount(); }
    QString Cell(int row, int column) const {
        return window_->SongList()->topLevelItem(row)->text(column);
    }

    QString LinkOf(const std::string& id) const { return U(site_->Mp3Url(id)); }

    TempDir temp_;
    std::unique_ptr<tools::DemoSite> site_;
    std::unique_ptr<MainWindow> window_;
};

// One song of the main playlist and what should become of it.
struct Expected {
    Song song;
    QString status;
    std::optional<std::string> file;  // file name (UTF-8) when a file is written
};

std::vector<Expected> MainPlaylist() {
    std::vector<Expected> list;
    const auto add = [&list](Song song, QString status, std::optional<std::string> file) {
        list.push_back({std::move(song), std::move(status), std::move(file)});
    };
    add(MakeSong("s01", "月亮代表我的心", 300 * 1024), kDone, "月亮代表我的心.mp3");
    add(MakeSong("s02", "AC/DC Back/In Black"), kDone, "AC_DC Back_In Black.mp3");
    add(MakeSong("s03", ".."), kDone, "_.mp3");
    add(MakeSong("s04", "甜蜜蜜", 100 * 1024), kDone, "甜蜜蜜.mp3");
    add(MakeSong("s05", "甜蜜蜜", 120 * 1024), kDone, "甜蜜蜜.mp3");
    Song caps = MakeSong("s06", "大写 CAPS");
    caps.capitalLink = true;
    add(caps, kDone, "大写 CAPS.mp3");
    Song gbk = MakeSong("s07", "小城故事");
    gbk.pageEncoding = PageEncoding::Gbk;
    add(gbk, kDone, "小城故事.mp3");
    Song noLink = MakeSong("s08", "没有链接");
    noLink.mp3Links = 0;
    add(noLink, kNoLink, std::nullopt);
    Song twoLinks = MakeSong("s09", "两个链接");
    twoLinks.mp3Links = 2;
    add(twoLinks, kDone, "两个链接.mp3");
    Song missing = MakeSong("s10", "找不到");
    missing.mp3 = Mp3Behaviour::NotFound;
    add(missing, kFailed, std::nullopt);
    Song dropped = MakeSong("s11", "断线", 256 * 1024);
    dropped.mp3 = Mp3Behaviour::DropMidBody;
    add(dropped, kFailed, std::nullopt);
    Song slow = MakeSong("s12", "慢歌", 512 * 1024);
    slow.chunkDelay = 40ms;
    add(slow, kDone, "慢歌.mp3");
    add(MakeSong("s13", "Tom & Jerry <live>"), kDone, "Tom &amp; Jerry &lt;live&gt;.mp3");
    Song noPage = MakeSong("s14", "没有下载页");
    noPage.downloadPageFound = false;
    add(noPage, kNoLink, std::nullopt);
    add(MakeSong("s15", Repeat("长", 100)), kDone, Repeat("长", 83) + ".mp3");
    Song empty = MakeSong("s16", "空的", 0);
    add(empty, kFailed, std::nullopt);
    add(MakeSong("s17", "（纯音乐）Ｆｕｌｌ"), kDone, "（纯音乐）Ｆｕｌｌ.mp3");
    add(MakeSong("s18", "Yesterday Once More"), kDone, "Yesterday Once More.mp3");
    Song gbk2 = MakeSong("s19", "夜来香", 200 * 1024);
    gbk2.pageEncoding = PageEncoding::Gbk;
    add(gbk2, kDone, "夜来香.mp3");
    add(MakeSong("s20", "tab\there"), kDone, "tab_here.mp3");
    return list;
}

TEST_F(JobsTest, ParsesAndDownloadsAWholePlaylist) {
    const std::vector<Expected> expected = MainPlaylist();
    std::vector<Song> catalogue;
    for (const auto& e : expected) {
        catalogue.push_back(e.song);
    }
    StartSite(catalogue);
    OpenWindow();
    EXPECT_EQ(window_->UrlBox()->text(), U(site_->PlaylistUrl()));
    const fs::path folder = temp_.path() / "several" / "levels" / "deep";
    SetBox(window_->FolderBox(), QString::fromStdString(folder.string()));
    SetBox(window_->ThreadCountBox(), QStringLiteral("3"));

    ClickParseAndWait();
    ASSERT_EQ(Rows(), static_cast<int>(expected.size()));
    EXPECT_EQ(site_->Counts().downloadPages, expected.size());
    for (int row = 0; row < Rows(); ++row) {
        const Song& song = expected[row].song;
        SCOPED_TRACE(song.id);
        EXPECT_EQ(Cell(row, kColumnNumber), QString::number(row + 1));
        EXPECT_EQ(Cell(row, kColumnName), U(tools::EscapeHtml(song.name)));
        EXPECT_EQ(Cell(row, kColumnSongId), U(song.id));
        const bool hasLink = song.mp3Links > 0 && song.downloadPageFound;
        EXPECT_EQ(Cell(row, kColumnLink),
                  hasLink ? LinkOf(song.id) : QStringLiteral("https://mp3.mp3"));
        EXPECT_EQ(Cell(row, kColumnStatus), QString());
    }

    ClickDownloadAndWait();
    std::map<std::string, std::set<std::string>> allowed;  // file -> acceptable bodies
    for (int row = 0; row < Rows(); ++row) {
        const Expected& e = expected[row];
        SCOPED_TRACE(e.song.id);
        EXPECT_EQ(Cell(row, kColumnStatus), e.status);
        if (e.file) {
            allowed[*e.file].insert(tools::Mp3Body(e.song));
        }
    }
    // Two songs of one name write one file: it holds one of them whole. No
    // temporary or partial file is left beside the songs.
    const auto files = FolderContents(folder);
    std::set<std::string> names;
    for (const auto& [name, bytes] : files) {
        names.insert(name);
        ASSERT_TRUE(allowed.contains(name)) << "unexpected file " << name;
        EXPECT_TRUE(allowed[name].contains(bytes)) << "contents of " << name;
    }
    EXPECT_EQ(names.size(), allowed.size());
    // Nothing was fetched for rows without a link.
    EXPECT_EQ(site_->RequestsFor(tools::Mp3Path("s08", false)), 0u);
    EXPECT_EQ(site_->RequestsFor(tools::Mp3Path("s09", true)), 0u);
}

TEST_F(JobsTest, FailedDownloadsLeaveEarlierFilesAlone) {
    Song missing = MakeSong("f1", "missing");
    missing.mp3 = Mp3Behaviour::NotFound;
    Song dropped = MakeSong("f2", "dropped", 200 * 1024);
    dropped.mp3 = Mp3Behaviour::DropMidBody;
    Song empty = MakeSong("f3", "empty", 0);
    Song fine = MakeSong("f4", "fine", 100 * 1024);
    StartSite({missing, dropped, empty, fine});
    OpenWindow();
    const fs::path folder = temp_.path() / "songs";
    fs::create_directories(folder);
    for (const char* name : {"missing", "dropped", "empty"}) {
        WriteFile(folder / (std::string(name) + ".mp3"), "earlier download");
    }
    WriteFile(folder / "fine.mp3", std::string(300 * 1024, 'x'));  // longer than the new song
    SetBox(window_->FolderBox(), QString::fromStdString(folder.string()));

    ClickParseAndWait();
    ASSERT_EQ(Rows(), 4);
    ClickDownloadAndWait();
    EXPECT_EQ(Cell(0, kColumnStatus), kFailed);
    EXPECT_EQ(Cell(1, kColumnStatus), kFailed);
    EXPECT_EQ(Cell(2, kColumnStatus), kFailed);
    EXPECT_EQ(Cell(3, kColumnStatus), kDone);
    const std::map<std::string, std::string> want = {
        {"missing.mp3", "earlier download"},
        {"dropped.mp3", "earlier download"},
        {"empty.mp3", "earlier download"},
        {"fine.mp3", tools::Mp3Body(fine)},
    };
    EXPECT_EQ(FolderContents(folder), want);
}

TEST_F(JobsTest, EmptyListShowsTheMessageAndStartsNothing) {
    StartSite({MakeSong("e1", "one")});
    OpenWindow();
    const fs::path folder = temp_.path() / "not" / "made";
    SetBox(window_->FolderBox(), QString::fromStdString(folder.string()));

    struct Seen {
        QString text;
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
    };
    std::optional<Seen> seen;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        seen = Seen{box->text(), box->windowTitle(), box->icon(), box->standardButtons()};
        box->button(QMessageBox::Ok)->click();
    });
    answer.start(10);
    ClickDownload();  // returns once the box has been answered
    answer.stop();

    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->text, QStringLiteral(u"您还没有获取歌曲列表"));
    EXPECT_EQ(seen->title, QStringLiteral(u"温馨提示"));
    EXPECT_EQ(seen->icon, QMessageBox::Warning);
    EXPECT_EQ(seen->buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(DownloadPool()->GetState(), threadpool::PoolState::Stopped);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(site_->Counts().mp3s, 0u);
}

TEST_F(JobsTest, ThreadCountBoxSetsTheWorkersOfAFreshPool) {
    StartSite({MakeSong("c1", "one"), MakeSong("c2", "two")});
    OpenWindow();
    SetBox(window_->FolderBox(), QString::fromStdString((temp_.path() / "songs").string()));
    ClickParseAndWait();
    ASSERT_EQ(Rows(), 2);

    const std::pair<QString, int> cases[] = {
        {QStringLiteral("0"), 1},     {QString(), 1},
        {QStringLiteral("abc"), 1},   {QStringLiteral(u"５"), 5},
        {QStringLiteral(u" －2"), 1}, {QStringLiteral("3 threads"), 3},
    };
    for (const auto& [text, workers] : cases) {
        SCOPED_TRACE(text.toStdString());
        ReleaseDownloadPool();
        InstallDownloadPool();
        SetBox(window_->ThreadCountBox(), text);
        for (int row = 0; row < Rows(); ++row) {
            window_->SongList()->topLevelItem(row)->setText(kColumnStatus, QString());
        }
        ClickDownload();
        EXPECT_EQ(DownloadPool()->ThreadCount(), workers);
        ASSERT_TRUE(QTest::qWaitFor(&JobsTest::DownloadsSettled, kWaitMs));
        EXPECT_EQ(Cell(0, kColumnStatus), kDone);
        EXPECT_EQ(Cell(1, kColumnStatus), kDone);
    }
}

TEST_F(JobsTest, SecondDownloadClickReusesTheRunningPool) {
    Song slow = MakeSong("d1", "slow", 512 * 1024);
    slow.chunkDelay = 60ms;
    const std::vector<Song> songs = {slow, MakeSong("d2", "two"), MakeSong("d3", "three")};
    StartSite(songs);
    OpenWindow();
    const fs::path folder = temp_.path() / "songs";
    SetBox(window_->FolderBox(), QString::fromStdString(folder.string()));
    ClickParseAndWait();
    ASSERT_EQ(Rows(), 3);

    SetBox(window_->ThreadCountBox(), QStringLiteral("2"));
    ClickDownload();
    ASSERT_EQ(DownloadPool()->GetState(), threadpool::PoolState::Running);
    SetBox(window_->ThreadCountBox(), QStringLiteral("7"));
    ClickDownload();
    EXPECT_EQ(DownloadPool()->ThreadCount(), 2);
    ASSERT_TRUE(QTest::qWaitFor(&JobsTest::DownloadsSettled, kWaitMs));

    std::map<std::string, std::string> want;
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(Cell(row, kColumnStatus), kDone);
        EXPECT_EQ(site_->RequestsFor(tools::Mp3Path(songs[row].id, false)), 2u);
        want[songs[row].name + ".mp3"] = tools::Mp3Body(songs[row]);
    }
    EXPECT_EQ(FolderContents(folder), want);
}

TEST_F(JobsTest, SecondParseClickEndsTheEarlierJob) {
    std::vector<Song> songs;
    for (int i = 1; i <= 12; ++i) {
        songs.push_back(MakeSong("p" + std::to_string(i), "歌 " + std::to_string(i)));
    }
    StartSite(songs);
    OpenWindow();

    QTest::mouseClick(window_->ParseButton(), Qt::LeftButton);
    // The first job needs this thread for every row it writes, so while the
    // test does not process events it cannot get past the rows it has.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Rows() >= 2; }, kWaitMs));
    const auto rowsOfFirstJob = static_cast<std::size_t>(Rows());
    QTest::mouseClick(window_->ParseButton(), Qt::LeftButton);
    EXPECT_EQ(Rows(), 0);
    ASSERT_TRUE(QTest::qWaitFor([] { return ParseJobsRunning() == 0; }, kWaitMs));

    ASSERT_EQ(Rows(), 12);
    for (int row = 0; row < 12; ++row) {
        EXPECT_EQ(Cell(row, kColumnNumber), QString::number(row + 1));
        EXPECT_EQ(Cell(row, kColumnName), U(songs[row].name));
        EXPECT_EQ(Cell(row, kColumnSongId), U(songs[row].id));
        EXPECT_EQ(Cell(row, kColumnLink), LinkOf(songs[row].id));
    }
    // The first job stopped at its next song instead of running to the end.
    EXPECT_EQ(site_->Counts().playlist, 2u);
    EXPECT_LE(site_->Counts().downloadPages, 12 + rowsOfFirstJob + 1);
}

TEST_F(JobsTest, PoolWithoutWorkersFailsTheRowsInsteadOfWaiting) {
    StartSite({MakeSong("w1", "one"), MakeSong("w2", "two")});
    OpenWindow(std::make_unique<threadpool::ThreadPool>(
        [](std::size_t, platform::ThreadRoutine, void*) { return false; }));
    SetBox(window_->FolderBox(), QString::fromStdString((temp_.path() / "songs").string()));
    ClickParseAndWait();
    ASSERT_EQ(Rows(), 2);

    ClickDownload();  // returns instead of waiting for workers that never come
    EXPECT_EQ(Cell(0, kColumnStatus), kFailed);
    EXPECT_EQ(Cell(1, kColumnStatus), kFailed);
    EXPECT_EQ(site_->Counts().mp3s, 0u);
}

TEST_F(JobsTest, ClosingTheWindowMidDownloadEndsPromptly) {
    Song slow = MakeSong("x1", "slow", 2 * 1024 * 1024);
    slow.chunkDelay = 100ms;  // about three seconds for the whole song
    const Song fast1 = MakeSong("x2", "fast one");
    const Song fast2 = MakeSong("x3", "fast two");
    StartSite({slow, fast1, fast2});
    OpenWindow();
    const fs::path folder = temp_.path() / "songs";
    SetBox(window_->FolderBox(), QString::fromStdString(folder.string()));
    ClickParseAndWait();
    ASSERT_EQ(Rows(), 3);

    ClickDownload();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return Cell(1, kColumnStatus) == kDone && Cell(2, kColumnStatus) == kDone &&
                   site_->RequestsFor(tools::Mp3Path("x1", false)) == 1;
        },
        kWaitMs));
    ASSERT_EQ(Cell(0, kColumnStatus), QString());  // still on its way

    // What start-up does once the loop has ended: the window goes, then the
    // exit routines run.
    const auto start = std::chrono::steady_clock::now();
    window_->close();
    window_.reset();
    platform::RunExitRoutines();
    // A hang check: the exit routine gives writes in flight at most 1.5 s.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    const std::map<std::string, std::string> want = {
        {"fast one.mp3", tools::Mp3Body(fast1)},
        {"fast two.mp3", tools::Mp3Body(fast2)},
    };
    EXPECT_EQ(FolderContents(folder), want);
    // Once the slow transfer ends, its task writes nothing: no song that looks
    // complete and no temporary file.
    site_.reset();
    ASSERT_TRUE(QTest::qWaitFor([] { return DownloadTasksRunning() == 0; }, kWaitMs));
    EXPECT_EQ(FolderContents(folder), want);
}

long long MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

TEST_F(JobsTest, ProgramEndsPromptlyWhenClosedMidDownload) {
    Song slow = MakeSong("z1", "slow", 4 * 1024 * 1024);
    slow.chunkDelay = 100ms;  // over six seconds for the whole song
    const Song fast1 = MakeSong("z2", "fast one");
    const Song fast2 = MakeSong("z3", "fast two");
    StartSite({slow, fast1, fast2});
    const fs::path runDirectory = temp_.path() / "run";
    const fs::path folder = temp_.path() / "songs";
    fs::create_directories(runDirectory);

    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(
        QStringLiteral(MELVARA_JOBS_EXIT_PROBE),
        {QString::fromStdString(runDirectory.string()), QString::fromStdString(folder.string())});
    ASSERT_TRUE(program.waitForFinished(kWaitMs));
    const long long endedNs = MonotonicNs();
    ASSERT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    const QByteArray output = program.readAllStandardOutput();
    const auto at = output.indexOf("closing_ns=");
    ASSERT_GE(at, 0) << output.toStdString();
    const long long closingNs = output.mid(at + 11).trimmed().toLongLong();
    // Prompt means seconds, not a hang: the target of two seconds holds in a
    // release build; sanitizer builds on a busy machine get room.
    EXPECT_LT(endedNs - closingNs, 5000000000LL);
    std::printf("ended %.2f s after the window closed\n", (endedNs - closingNs) / 1e9);

    // The slow song never got written, not even in part.
    const std::map<std::string, std::string> want = {
        {"fast one.mp3", tools::Mp3Body(fast1)},
        {"fast two.mp3", tools::Mp3Body(fast2)},
    };
    EXPECT_EQ(FolderContents(folder), want);
}

}  // namespace
}  // namespace melvara::app
