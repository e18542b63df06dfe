#include "app/startup.h"

#include <QApplication>
#include <mutex>
#include <utility>
#include <vector>

#include "app/directories.h"
#include "app/main_window.h"
#include "app/window_controls.h"
#include "platform/exit_routines.h"
#include "platform/file_system.h"
#include "platform/gui_message_pump.h"

namespace melvara::app {

namespace {

struct Hooks {
    std::mutex mutex;
    std::vector<std::function<void()>> startup;
    std::vector<std::function<void(MainWindow&)>> window;
};

Hooks& Registry() {
    static Hooks hooks;
    return hooks;
}

template <class Hook>
std::vector<Hook> TakeAll(std::vector<Hook>& hooks) {
    std::lock_guard lock(Registry().mutex);
    return std::exchange(hooks, {});
}

}  // namespace

void RegisterStartupHook(std::function<void()> hook) {
    std::lock_guard lock(Registry().mutex);
    Registry().startup.push_back(std::move(hook));
}

void RegisterWindowHook(std::function<void(MainWindow&)> hook) {
    std::lock_guard lock(Registry().mutex);
    Registry().window.push_back(std::move(hook));
}

void RunStartupHooks() {
    for (const auto& hook : TakeAll(Registry().startup)) {
        hook();
    }
}

void RunWindowHooks(MainWindow& window) {
    for (const auto& hook : TakeAll(Registry().window)) {
        hook(window);
    }
}

Text DefaultFolder(const Text& runDirectory) {
    // A run directory of "/" must not give "//mp3/".
    Text base = runDirectory;
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    return base + "/mp3/";
}

void OnMainWindowCreated(MainWindow& window, const Text& runDirectory) {
    const Text folder = DefaultFolder(runDirectory);
    if (!IsDirectory(folder)) {
        EnsureDirectory(folder);  // a failure shows up when the download job retries
    }
    window.Controls().SetEditText(EditRole::FolderBox, folder);
}

int RunStartup(const Text& runDirectory) {
    platform::SetCurrentDirectory(runDirectory);
    platform::InstallGuiMessagePump();
    RunStartupHooks();
    int exitCode = 0;
    {
        MainWindow window;
        OnMainWindowCreated(window, runDirectory);
        RunWindowHooks(window);
        window.show();
        exitCode = QApplication::exec();
    }  // the window goes before the exit routines: no worker waits on it any more
    platform::RunExitRoutines();
    return exitCode;
}

int RunMelvara(int& argc, char** argv) {
    QApplication app(argc, argv);
    return RunStartup(platform::RunDirectory());
}

}  // namespace melvara::app
