#include "platform/gui_message_pump.h"

#include <QCoreApplication>
#include <QThread>

#include "platform/message_pump.h"

namespace melvara::platform {

void ProcessGuiMessages() {
    const QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || app->thread() != QThread::currentThread()) {
        return;
    }
    QCoreApplication::processEvents();
}

void InstallGuiMessagePump() {
    InstallMessagePump(&ProcessGuiMessages);
}

}  // namespace melvara::platform
