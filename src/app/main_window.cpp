#include "app/main_window.h"

#include <QHeaderView>

#include "app/site_config.h"
#include "platform/gui_text.h"
#include "platform/gui_window_thread_gate.h"
#include "ui_main_window.h"

namespace melvara::app {

namespace {

constexpr int kColumnWidths[kColumnCount] = {30, 120, 50, 290, 60};

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::MainWindow>()) {
    ui_->setupUi(this);
    // The controls sit at fixed positions; a larger window would only show a gap.
    setGeometry(50, 50, 588, 405);
    setFixedSize(size());

    QFont cjk = font();
    cjk.setFamilies(
        {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"), cjk.family()});
    setFont(cjk);

    // The style's minimum section size would widen the narrow "ID" column.
    SongList()->header()->setMinimumSectionSize(20);
    for (int column = 0; column < kColumnCount; ++column) {
        SongList()->setColumnWidth(column, kColumnWidths[column]);
    }
    UrlBox()->setText(platform::GbkToQString(PlaylistPageAddress()));

    gate_ = std::make_unique<platform::WindowThreadGate>(this);
    controls_ =
        WindowControls(gate_->Caller(), {UrlBox(), FolderBox(), ThreadCountBox(), SongList()});
    WindowControls::SetCurrent(controls_);
}

MainWindow::~MainWindow() {
    // Before any widget goes: no request may be served after this point.
    gate_->Close();
    WindowControls::Withdraw(controls_);
}

platform::WindowThreadCaller MainWindow::ThreadCaller() const {
    return gate_->Caller();
}

QLabel* MainWindow::CreditLabel() const {
    return ui_->标签1;
}
QTreeWidget* MainWindow::SongList() const {
    return ui_->超级列表框1;
}
QLabel* MainWindow::UrlLabel() const {
    return ui_->透明标签1;
}
QLineEdit* MainWindow::UrlBox() const {
    return ui_->编辑框1;
}
QLabel* MainWindow::FolderLabel() const {
    return ui_->透明标签4;
}
QLineEdit* MainWindow::FolderBox() const {
    return ui_->编辑框4;
}
QLabel* MainWindow::ThreadCountLabel() const {
    return ui_->透明标签3;
}
QLineEdit* MainWindow::ThreadCountBox() const {
    return ui_->编辑框2;
}
QPushButton* MainWindow::ParseButton() const {
    return ui_->按钮1;
}
QPushButton* MainWindow::DownloadButton() const {
    return ui_->按钮3;
}

}  // namespace melvara::app
