#include "app/link_claim.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

namespace melvara::app {
namespace {

struct Registry {
    std::mutex mutex;
    std::condition_variable released;
    std::set<Text> held;
    std::size_t waiting = 0;
};

// Deliberately never destroyed: pool workers may still hold claims while the
// process exits, and must not find the registry gone.
Registry& TheRegistry() {
    static Registry& registry = *std::make_unique<Registry>().release();
    return registry;
}

}  // namespace

LinkClaim::LinkClaim(Text link) : link_(std::move(link)) {
    Registry& registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    if (registry.held.contains(link_)) {
        ++registry.waiting;
        registry.released.wait(lock, [&] { return !registry.held.contains(link_); });
        --registry.waiting;
    }
    registry.held.insert(link_);
}

LinkClaim::~LinkClaim() {
    Registry& registry = TheRegistry();
    {
        std::lock_guard lock(registry.mutex);
        registry.held.erase(link_);
    }
    registry.released.notify_all();
}

std::size_t LinkClaim::Waiting() {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    return registry.waiting;
}

}  // namespace melvara::app
