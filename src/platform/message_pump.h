#pragma once

// "Process the calling thread's pending window messages". Code below the app
// layer calls ProcessPendingMessages(); the GUI installs the pump that does the
// work (on the window's thread only). Without a GUI it does nothing.

namespace melvara::platform {

using MessagePump = void (*)();

void InstallMessagePump(MessagePump pump);
void ProcessPendingMessages();

}  // namespace melvara::platform
