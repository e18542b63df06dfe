#include "app/window_controls.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"

namespace melvara::app {
namespace {

using namespace std::chrono_literals;

const Text kSongName = "\xB8\xE8\xC7\xFA";  // "歌曲" in GBK

TEST(WindowControls, OnTheWindowThreadActDirectly) {
    MainWindow window;
    const WindowControls controls = window.Controls();

    // No event loop runs here, so each call must act at once.
    for (const EditRole role : {EditRole::UrlBox, EditRole::FolderBox, EditRole::ThreadCountBox}) {
        controls.SetEditText(role, kSongName);
        EXPECT_EQ(controls.EditText(role), kSongName);
    }
    EXPECT_EQ(window.FolderBox()->text(), QString::fromUtf8("歌曲"));

    EXPECT_EQ(controls.AppendRow(), 0);
    EXPECT_EQ(controls.AppendRow(), 1);
    EXPECT_EQ(controls.RowCount(), 2);
    controls.SetCellText(1, kColumnName, kSongName);
    EXPECT_EQ(controls.CellText(1, kColumnName), kSongName);
    EXPECT_EQ(window.SongList()->topLevelItem(1)->text(kColumnName), QString::fromUtf8("歌曲"));
    EXPECT_EQ(controls.CellText(0, kColumnStatus), "");

    // Rows or columns that do not exist: reads give "", writes change nothing.
    const struct {
        int row;
        int column;
    } outside[] = {{2, 0}, {-1, 0}, {0, 5}, {0, -1}, {1000, 1}};
    for (const auto& c : outside) {
        controls.SetCellText(c.row, c.column, "x");
        EXPECT_EQ(controls.CellText(c.row, c.column), "") << c.row << "," << c.column;
    }
    EXPECT_EQ(controls.RowCount(), 2);
    EXPECT_EQ(window.SongList()->columnCount(), kColumnCount);
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < kColumnCount; ++column) {
            if (row != 1 || column != kColumnName) {
                EXPECT_EQ(controls.CellText(row, column), "") << row << "," << column;
            }
        }
    }

    controls.ClearRows();
    EXPECT_EQ(controls.RowCount(), 0);
    EXPECT_EQ(controls.AppendRow(), 0);
}

// The shape of a parse job: another thread reads a box and fills rows while
// the window's thread keeps handling events.
TEST(WindowControls, FromAnotherThreadAreServedByTheWindowThread) {
    MainWindow window;
    const WindowControls controls = window.Controls();
    std::atomic<bool> finished{false};
    Text threadCount;
    std::vector<int> rows;

    std::thread job([&] {
        threadCount = controls.EditText(EditRole::ThreadCountBox);
        for (int i = 0; i < 3; ++i) {
            const int row = controls.AppendRow();
            rows.push_back(row);
            controls.SetCellText(row, kColumnNumber, std::to_string(row + 1));
            controls.SetCellText(row, kColumnSongId, "id" + std::to_string(i));
            controls.SetCellText(row, kColumnName, kSongName);
            controls.SetCellText(row, kColumnLink, "https://mp3" + std::to_string(i) + ".mp3");
        }
        controls.SetEditText(EditRole::FolderBox, "/tmp/x/");
        finished = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 30000));
    job.join();

    EXPECT_EQ(threadCount, "5");
    EXPECT_EQ(rows, (std::vector<int>{0, 1, 2}));
    QTreeWidget* list = window.SongList();
    ASSERT_EQ(list->topLevelItemCount(), 3);
    for (int row = 0; row < 3; ++row) {
        const QTreeWidgetItem* item = list->topLevelItem(row);
        EXPECT_EQ(item->text(kColumnNumber), QString::number(row + 1));
        EXPECT_EQ(item->text(kColumnName), QString::fromUtf8("歌曲"));
        EXPECT_EQ(item->text(kColumnSongId), QStringLiteral("id%1").arg(row));
        EXPECT_EQ(item->text(kColumnLink), QStringLiteral("https://mp3%1.mp3").arg(row));
        EXPECT_EQ(item->text(kColumnStatus), QString());
    }
    EXPECT_EQ(window.FolderBox()->text(), QStringLiteral("/tmp/x/"));
}

TEST(WindowControls, AfterTheWindowIsGoneReturnEmptyAtOnce) {
    auto window = std::make_unique<MainWindow>();
    const WindowControls controls = window->Controls();
    const platform::WindowThreadCaller caller = window->ThreadCaller();
    EXPECT_TRUE(caller.IsOpen());
    EXPECT_EQ(WindowControls::Current().AppendRow(), 0);  // reaches the live window

    // A thread that keeps using the controls while the window goes away must
    // be released, whether its request was waiting or came later.
    std::atomic<bool> started{false};
    auto busy = std::async(std::launch::async, [&] {
        started = true;
        while (controls.AppendRow() != -1) {
        }
        return controls.RowCount();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return started.load(); }, 30000));
    window.reset();
    ASSERT_EQ(busy.wait_for(30s), std::future_status::ready) << "a caller was left waiting";
    EXPECT_EQ(busy.get(), 0);
    EXPECT_FALSE(caller.IsOpen());

    // Nobody serves events from here on: only an immediate answer can return.
    auto after = std::async(std::launch::async, [&] {
        for (const WindowControls& c : {controls, WindowControls::Current(), WindowControls()}) {
            c.SetEditText(EditRole::UrlBox, "x");
            c.SetCellText(0, 0, "x");
            c.ClearRows();
            if (c.EditText(EditRole::UrlBox) != "" || c.AppendRow() != -1 || c.RowCount() != 0 ||
                c.CellText(0, 0) != "") {
                return false;
            }
        }
        return true;
    });
    ASSERT_EQ(after.wait_for(30s), std::future_status::ready) << "a call blocked";
    EXPECT_TRUE(after.get());
}

}  // namespace
}  // namespace melvara::app
