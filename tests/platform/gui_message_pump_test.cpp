#include "platform/gui_message_pump.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <thread>

#include "platform/message_pump.h"

namespace melvara::platform {
namespace {

TEST(GuiMessagePump, ProcessesTheWindowThreadsEventsThereOnly) {
    InstallGuiMessagePump();

    QObject onWindowThread;
    bool ran = false;
    QMetaObject::invokeMethod(
        &onWindowThread, [&] { ran = true; }, Qt::QueuedConnection);
    ProcessPendingMessages();
    EXPECT_TRUE(ran);

    // On another thread the pump must not run that thread's events (nor touch
    // the window thread's queue).
    bool ranElsewhere = false;
    bool ranHere = false;
    std::thread other([&] {
        QObject onOtherThread;
        QMetaObject::invokeMethod(
            &onOtherThread, [&] { ranElsewhere = true; }, Qt::QueuedConnection);
        QMetaObject::invokeMethod(
            &onWindowThread, [&] { ranHere = true; }, Qt::QueuedConnection);
        ProcessPendingMessages();
    });
    other.join();
    EXPECT_FALSE(ranElsewhere);
    EXPECT_FALSE(ranHere);
    ProcessPendingMessages();
    EXPECT_TRUE(ranHere);
}

}  // namespace
}  // namespace melvara::platform
