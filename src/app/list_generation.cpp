#include "app/list_generation.h"

#include <atomic>

namespace melvara::app {
namespace {

// Trivially destructible, so threads still running while the process exits
// never see it destroyed.
std::atomic<std::int32_t> generation{0};

}  // namespace

std::int32_t CurrentListGeneration() {
    return generation.load();
}

std::int32_t StartNewListGeneration() {
    return generation.fetch_add(1) + 1;
}

}  // namespace melvara::app
