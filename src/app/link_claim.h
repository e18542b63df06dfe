#pragma once

// Keeps one link from being fetched by two download tasks at once (a second
// click submits every row again while the first round may still run).

#include <cstddef>

#include "text/text_types.h"

namespace melvara::app {

class LinkClaim {
  public:
    // Waits while another claim on the same link lives, then holds the link.
    explicit LinkClaim(Text link);
    ~LinkClaim();
    LinkClaim(const LinkClaim&) = delete;
    LinkClaim& operator=(const LinkClaim&) = delete;

    // Claims that are waiting for a link right now.
    static std::size_t Waiting();

  private:
    Text link_;
};

}  // namespace melvara::app
