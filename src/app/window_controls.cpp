#include "app/window_controls.h"

#include <QLineEdit>
#include <QTreeWidget>
#include <memory>
#include <mutex>

#include "platform/gui_text.h"

namespace melvara::app {

namespace {

std::mutex currentMutex;
// Never destroyed: detached workers may still ask for the window while the
// process exits, after static destruction has begun.
WindowControls& CurrentSlot() {
    static WindowControls& current = *std::make_unique<WindowControls>().release();
    return current;
}

}  // namespace

WindowControls::WindowControls(platform::WindowThreadCaller caller, const Widgets& widgets)
    : target_(std::make_shared<const Target>(Target{std::move(caller), widgets})) {}

WindowControls WindowControls::Current() {
    std::lock_guard lock(currentMutex);
    return CurrentSlot();
}

void WindowControls::SetCurrent(const WindowControls& controls) {
    std::lock_guard lock(currentMutex);
    CurrentSlot() = controls;
}

void WindowControls::Withdraw(const WindowControls& controls) {
    std::lock_guard lock(currentMutex);
    if (CurrentSlot().target_ == controls.target_) {
        CurrentSlot() = WindowControls();
    }
}

QLineEdit* WindowControls::Edit(EditRole role) const {
    switch (role) {
        case EditRole::UrlBox:
            return target_->widgets.urlBox;
        case EditRole::FolderBox:
            return target_->widgets.folderBox;
        case EditRole::ThreadCountBox:
            return target_->widgets.threadCountBox;
    }
    return nullptr;
}

Text WindowControls::EditText(EditRole role) const {
    if (!target_) {
        return {};
    }
    QLineEdit* edit = Edit(role);
    const auto text = target_->caller.Call([edit] { return edit->text(); });
    return text ? platform::QStringToGbk(*text) : Text();
}

void WindowControls::SetEditText(EditRole role, const Text& text) const {
    if (!target_) {
        return;
    }
    QLineEdit* edit = Edit(role);
    const QString value = platform::GbkToQString(text);
    target_->caller.Run([edit, &value] { edit->setText(value); });
}

void WindowControls::ClearRows() const {
    if (!target_) {
        return;
    }
    QTreeWidget* list = target_->widgets.songList;
    target_->caller.Run([list] { list->clear(); });
}

int WindowControls::AppendRow() const {
    if (!target_) {
        return -1;
    }
    QTreeWidget* list = target_->widgets.songList;
    const auto row = target_->caller.Call([list] {
        auto item = std::make_unique<QTreeWidgetItem>(QStringList(list->columnCount(), QString()));
        list->addTopLevelItem(item.release());  // the list owns its rows
        return list->topLevelItemCount() - 1;
    });
    return row.value_or(-1);
}

int WindowControls::RowCount() const {
    if (!target_) {
        return 0;
    }
    QTreeWidget* list = target_->widgets.songList;
    return target_->caller.Call([list] { return list->topLevelItemCount(); }).value_or(0);
}

Text WindowControls::CellText(int row, int column) const {
    if (!target_) {
        return {};
    }
    QTreeWidget* list = target_->widgets.songList;
    const auto text = target_->caller.Call([list, row, column] {
        const QTreeWidgetItem* item = list->topLevelItem(row);
        if (item == nullptr || column < 0 || column >= list->columnCount()) {
            return QString();
        }
        return item->text(column);
    });
    return text ? platform::QStringToGbk(*text) : Text();
}

void WindowControls::SetCellText(int row, int column, const Text& text) const {
    if (!target_) {
        return;
    }
    QTreeWidget* list = target_->widgets.songList;
    const QString value = platform::GbkToQString(text);
    target_->caller.Run([list, row, column, &value] {
        QTreeWidgetItem* item = list->topLevelItem(row);
        if (item != nullptr && column >= 0 && column < list->columnCount()) {
            item->setText(column, value);
        }
    });
}

}  // namespace melvara::app
