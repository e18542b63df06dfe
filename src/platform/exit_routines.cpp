#include "platform/exit_routines.h"

#include <mutex>
#include <utility>
#include <vector>

namespace melvara::platform {

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<std::function<void()>> routines;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

void RegisterExitRoutine(std::function<void()> routine) {
    if (!routine)
        return;
    Registry& registry = TheRegistry();
    const std::lock_guard lock(registry.mutex);
    registry.routines.push_back(std::move(routine));
}

void RunExitRoutines() {
    Registry& registry = TheRegistry();
    for (;;) {
        std::function<void()> routine;
        {
            const std::lock_guard lock(registry.mutex);
            if (registry.routines.empty())
                return;
            routine = std::move(registry.routines.back());
            registry.routines.pop_back();
        }
        routine();  // outside the lock: a routine may register another
    }
}

}  // namespace melvara::platform
