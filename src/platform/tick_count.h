#pragma once

#include <cstdint>

namespace melvara::platform {

// Milliseconds of a monotonic clock; only differences of two readings mean anything.
std::uint64_t TickCount();

}  // namespace melvara::platform
