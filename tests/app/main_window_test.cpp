#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/site_config.h"
#include "app/startup.h"
#include "platform/exit_routines.h"

namespace melvara::app {
namespace {

namespace fs = std::filesystem;

// A temporary run directory that removes itself.
class RunDirectory {
  public:
    RunDirectory()
        : path_(fs::temp_directory_path() /
                ("melvara-run-" + std::to_string(std::random_device{}()))) {
        fs::create_directories(path_);
    }
    ~RunDirectory() { fs::remove_all(path_); }
    RunDirectory(const RunDirectory&) = delete;
    RunDirectory& operator=(const RunDirectory&) = delete;

    const fs::path& path() const { return path_; }
    Text text() const { return path_.string(); }

  private:
    fs::path path_;
};

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

TEST(MainWindow, EveryControlIsWhereTheTemplatePutsIt) {
    MainWindow window;
    EXPECT_EQ(window.windowTitle(), U("Melvara - Orvell"));
    EXPECT_EQ(window.geometry(), QRect(50, 50, 588, 405));

    const struct {
        const char* formName;
        QWidget* role;
        const char* kind;
        QRect geometry;
        const char* text;  // nullptr: not checked here
    } controls[] = {
        {"标签1", window.CreditLabel(), "QLabel", {145, 6, 296, 16}, nullptr},
        {"超级列表框1", window.SongList(), "QTreeWidget", {6, 24, 569, 257}, nullptr},
        {"透明标签1", window.UrlLabel(), "QLabel", {16, 290, 104, 20}, "歌曲目录地址："},
        {"编辑框1", window.UrlBox(), "QLineEdit", {110, 288, 466, 24}, nullptr},
        {"透明标签4", window.FolderLabel(), "QLabel", {3, 317, 88, 20}, "  歌曲下载目录："},
        {"编辑框4", window.FolderBox(), "QLineEdit", {110, 318, 466, 24}, ""},
        {"透明标签3", window.ThreadCountLabel(), "QLabel", {16, 347, 104, 20}, "下载歌单线程数："},
        {"编辑框2", window.ThreadCountBox(), "QLineEdit", {111, 350, 32, 21}, "5"},
        {"按钮1", window.ParseButton(), "QPushButton", {160, 348, 176, 25}, "歌单解析"},
        {"按钮3", window.DownloadButton(), "QPushButton", {385, 347, 184, 25}, "下载歌曲"},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.formName);
        auto* found = window.findChild<QWidget*>(U(c.formName));
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found, c.role);
        EXPECT_STREQ(found->metaObject()->className(), c.kind);
        EXPECT_EQ(found->geometry(), c.geometry);
        if (c.text == nullptr) {
            continue;
        }
        QString text;
        if (auto* label = qobject_cast<QLabel*>(found)) {
            text = label->text();
        } else if (auto* edit = qobject_cast<QLineEdit*>(found)) {
            text = edit->text();
        } else if (auto* button = qobject_cast<QPushButton*>(found)) {
            text = button->text();
        }
        EXPECT_EQ(text, U(c.text));
    }
    // The credit is one line of our own.
    EXPECT_FALSE(window.CreditLabel()->text().isEmpty());
    EXPECT_FALSE(window.CreditLabel()->text().contains(QLatin1Char('\n')));
    // The transparent labels paint no background of their own.
    EXPECT_FALSE(window.UrlLabel()->autoFillBackground());
}

TEST(MainWindow, SongListStartsEmptyWithItsFiveColumns) {
    MainWindow window;
    QTreeWidget* list = window.SongList();
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_FALSE(list->rootIsDecorated());
    EXPECT_FALSE(list->isHeaderHidden());

    const struct {
        const char* header;
        int width;
    } columns[] = {{"ID", 30}, {"歌名", 120}, {"歌曲ID", 50}, {"歌曲链接", 290}, {"下载状态", 60}};
    ASSERT_EQ(list->columnCount(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(list->headerItem()->text(i), U(columns[i].header)) << i;
        EXPECT_EQ(list->columnWidth(i), columns[i].width) << i;
    }
}

TEST(MainWindow, UrlBoxStartsAtTheSitesPlaylistPage) {
    setenv("MELVARA_SITE_HOST", "music.localhost:8443", 1);
    MainWindow window;
    unsetenv("MELVARA_SITE_HOST");
    EXPECT_EQ(window.UrlBox()->text(), U("https://music.localhost:8443/laoge/500shou.htm"));
}

TEST(MainWindow, ChineseTextsHaveAFontThatHoldsThem) {
    MainWindow window;
    const QString sample = U("歌曲目录地址：下载状态温馨提示");
    for (const QWidget* w : {static_cast<const QWidget*>(window.UrlLabel()),
                             static_cast<const QWidget*>(window.ParseButton()),
                             static_cast<const QWidget*>(window.SongList())}) {
        const QFontMetrics metrics(w->font());
        for (const QChar ch : sample) {
            EXPECT_TRUE(metrics.inFont(ch)) << w->objectName().toStdString() << " lacks U+"
                                            << std::hex << static_cast<unsigned>(ch.unicode());
        }
    }
}

TEST(MainWindowCreated, FolderBoxShowsTheDefaultFolderWhichExistsAfterwards) {
    RunDirectory run;
    const fs::path mp3 = run.path() / "mp3";
    const std::string expected = run.text() + "/mp3/";
    // Missing, already there (contents untouched), and blocked by a plain file
    // named "mp3" (not reported: the box shows the path all the same).
    enum class Before { Missing, Directory, PlainFile };
    for (const Before before : {Before::Missing, Before::Directory, Before::PlainFile}) {
        SCOPED_TRACE(static_cast<int>(before));
        fs::remove_all(mp3);
        if (before == Before::Directory) {
            fs::create_directories(mp3);
            std::ofstream(mp3 / "song.mp3") << "x";
        } else if (before == Before::PlainFile) {
            std::ofstream(mp3) << "x";
        }

        MainWindow window;
        OnMainWindowCreated(window, run.text());
        EXPECT_EQ(window.FolderBox()->text().toStdString(), expected);
        if (before == Before::PlainFile) {
            EXPECT_TRUE(fs::is_regular_file(mp3));
        } else {
            EXPECT_TRUE(fs::is_directory(mp3));
        }
        if (before == Before::Directory) {
            EXPECT_TRUE(fs::exists(mp3 / "song.mp3"));
        }
    }
    EXPECT_EQ(DefaultFolder("/"), "/mp3/");
}

TEST(Startup, RunsHooksWindowLoopAndExitRoutinesInOrder) {
    RunDirectory run;
    const fs::path oldDirectory = fs::current_path();
    std::vector<std::string> events;

    RegisterStartupHook([&] {
        events.push_back("startup hook in " + fs::current_path().string());
        events.push_back(WindowControls::Current().AppendRow() == -1 ? "no window yet"
                                                                     : "window too early");
    });
    RegisterWindowHook([&](MainWindow& window) {
        events.push_back("window hook, folder " + window.FolderBox()->text().toStdString());
        events.push_back(window.isVisible() ? "shown too early" : "not shown yet");
        QTimer::singleShot(0, &window, [&events, &window] {
            events.push_back(window.isVisible() ? "loop with window shown" : "loop, hidden");
            window.close();
        });
    });
    platform::RegisterExitRoutine([&] {
        events.push_back(WindowControls::Current().RowCount() == 0 &&
                                 WindowControls::Current().AppendRow() == -1
                             ? "exit routine after the window"
                             : "exit routine with window alive");
    });

    const int exitCode = RunStartup(run.text());
    fs::current_path(oldDirectory);

    EXPECT_EQ(exitCode, 0);
    const std::vector<std::string> expected = {
        "startup hook in " + fs::canonical(run.path()).string(),
        "no window yet",
        "window hook, folder " + run.text() + "/mp3/",
        "not shown yet",
        "loop with window shown",
        "exit routine after the window",
    };
    EXPECT_EQ(events, expected);
    EXPECT_TRUE(fs::is_directory(run.path() / "mp3"));
}

}  // namespace
}  // namespace melvara::app
