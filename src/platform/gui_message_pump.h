#pragma once

// The GUI's answer to "process the calling thread's pending window messages".

namespace melvara::platform {

// Handles the pending events of the application's (the window's) thread when
// called there; does nothing on any other thread or without an application.
void ProcessGuiMessages();

// Makes ProcessPendingMessages() (message_pump.h) run ProcessGuiMessages().
void InstallGuiMessagePump();

}  // namespace melvara::platform
