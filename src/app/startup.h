#pragma once

// Process start-up: run directory, start-up hooks, the main window and its
// creation handler, the message loop, and the exit routines.

#include <functional>

#include "text/text_types.h"

namespace melvara::app {

class MainWindow;

// Runs once at start-up, before the window is created, in the order registered.
void RegisterStartupHook(std::function<void()> hook);
// Runs once on the new window after its creation handler and before it is
// shown, in the order registered: where the jobs connect their buttons.
void RegisterWindowHook(std::function<void(MainWindow&)> hook);

// Runs every registered start-up hook once and forgets it.
void RunStartupHooks();
// Runs every registered window hook on window and forgets it.
void RunWindowHooks(MainWindow& window);

// runDirectory + "/mp3/".
Text DefaultFolder(const Text& runDirectory);

// The creation handler: makes the default folder when it is no directory yet
// and puts it into FolderBox, whether or not it could be made.
void OnMainWindowCreated(MainWindow& window, const Text& runDirectory);

// Start-up for an application object that already exists: current directory :=
// runDirectory, start-up hooks, window (creation handler, window hooks, show),
// message loop, then the exit routines. Returns the loop's exit code.
int RunStartup(const Text& runDirectory);

// The program: the application object, then RunStartup with the directory
// that holds the executable.
int RunMelvara(int& argc, char** argv);

}  // namespace melvara::app
