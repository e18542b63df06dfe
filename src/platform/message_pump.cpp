#include "platform/message_pump.h"

#include <atomic>

namespace melvara::platform {

namespace {
std::atomic<MessagePump> installedPump{nullptr};
}  // namespace

void InstallMessagePump(MessagePump pump) {
    installedPump.store(pump);
}

void ProcessPendingMessages() {
    if (const MessagePump pump = installedPump.load())
        pump();
}

}  // namespace melvara::platform
