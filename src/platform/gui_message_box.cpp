#include "platform/gui_message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "platform/gui_text.h"

namespace melvara::platform {

namespace {

QMessageBox::StandardButtons ButtonsOf(unsigned style) {
    switch (style & 0xFu) {
        case kMbOkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case kMbAbortRetryIgnore:
            return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
        case kMbYesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case kMbYesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case kMbRetryCancel:
            return QMessageBox::Retry | QMessageBox::Cancel;
        default:
            return QMessageBox::Ok;
    }
}

QMessageBox::Icon IconOf(unsigned style) {
    switch (style & 0xF0u) {
        case kMbIconError:
            return QMessageBox::Critical;
        case kMbIconQuestion:
            return QMessageBox::Question;
        case kMbIconWarning:
            return QMessageBox::Warning;
        case kMbIconInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

int AnswerOf(QMessageBox::StandardButton button) {
    switch (button) {
        case QMessageBox::Ok:
            return kIdOk;
        case QMessageBox::Cancel:
            return kIdCancel;
        case QMessageBox::Abort:
            return kIdAbort;
        case QMessageBox::Retry:
            return kIdRetry;
        case QMessageBox::Ignore:
            return kIdIgnore;
        case QMessageBox::Yes:
            return kIdYes;
        case QMessageBox::No:
            return kIdNo;
        default:
            return 0;
    }
}

}  // namespace

int MessageBox(std::string_view text, std::string_view title, unsigned style) {
    const auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr || app->thread() != QThread::currentThread()) {
        return 0;
    }
    QMessageBox box(IconOf(style), GbkToQString(title), GbkToQString(text), ButtonsOf(style));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    const QMessageBox::StandardButton clicked = box.standardButton(box.clickedButton());
    if (clicked != QMessageBox::NoButton) {
        return AnswerOf(clicked);
    }
    // Closed without a button (window manager, Escape without an escape button).
    return (style & 0xFu) == kMbOk ? kIdOk : kIdCancel;
}

}  // namespace melvara::platform
