#include "platform/gui_message_box.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <future>
#include <string>

#include "platform/gui_text.h"

namespace melvara::platform {
namespace {

struct Seen {
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    Qt::WindowModality modality = Qt::NonModal;
    bool hasParent = true;
};

// Answers the next message box by pressing `press`, recording what it showed.
void AnswerNextBox(QMessageBox::StandardButton press, Seen& seen) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, press, &seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;  // not shown yet
        }
        timer->stop();
        timer->deleteLater();
        seen = {box->text(),           box->windowTitle(),      box->icon(), box->standardButtons(),
                box->windowModality(), box->parent() != nullptr};
        box->button(press)->click();
    });
    timer->start(1);
}

TEST(GuiMessageBox, ShowsTextTitleIconAndButtonsAndReturnsTheAnswer) {
    const std::string text = "\xC4\xFA\xBB\xB9\xC3\xBB\xD3\xD0";   // "您还没有" in GBK
    const std::string title = "\xCE\xC2\xDC\xB0\xCC\xE1\xCA\xBE";  // "温馨提示"
    struct Case {
        unsigned style;
        QMessageBox::StandardButton press;
        int answer;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };
    const Case cases[] = {
        {48, QMessageBox::Ok, kIdOk, QMessageBox::Warning, QMessageBox::Ok},
        {kMbYesNo | kMbIconQuestion, QMessageBox::No, kIdNo, QMessageBox::Question,
         QMessageBox::Yes | QMessageBox::No},
        {kMbOkCancel | kMbIconError, QMessageBox::Cancel, kIdCancel, QMessageBox::Critical,
         QMessageBox::Ok | QMessageBox::Cancel},
        {kMbRetryCancel, QMessageBox::Retry, kIdRetry, QMessageBox::NoIcon,
         QMessageBox::Retry | QMessageBox::Cancel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        Seen seen;
        AnswerNextBox(c.press, seen);
        EXPECT_EQ(MessageBox(text, title, c.style), c.answer);
        EXPECT_EQ(seen.text, QString::fromUtf8("您还没有"));
        EXPECT_EQ(seen.title, QString::fromUtf8("温馨提示"));
        EXPECT_EQ(seen.icon, c.icon);
        EXPECT_EQ(seen.buttons, c.buttons);
        EXPECT_EQ(seen.modality, Qt::ApplicationModal);
        EXPECT_FALSE(seen.hasParent);
    }
}

TEST(GuiMessageBox, OffTheWindowThreadShowsNothing) {
    auto answer = std::async(std::launch::async, [] { return MessageBox("a", "b", 48); });
    EXPECT_EQ(answer.get(), 0);
}

}  // namespace
}  // namespace melvara::platform
