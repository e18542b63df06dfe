#pragma once

// libcurl's process-wide set-up. curl_global_init must run before any other
// thread starts, so main() and the test mains construct a CurlGlobal first
// thing; the HTTP clients also call EnsureCurlGlobal() themselves, which makes
// them safe (if not thread-clean) when nobody did.

namespace melvara::platform {

// Runs libcurl's global initialisation once per process; later calls do nothing.
// Returns false when libcurl could not be initialised.
bool EnsureCurlGlobal();

class CurlGlobal {
  public:
    CurlGlobal();
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;
    // Nothing is torn down: detached threads may still be fetching while the
    // process exits, and libcurl's global state is released with the process.
    ~CurlGlobal() = default;

    bool ok() const { return ok_; }

  private:
    bool ok_;
};

}  // namespace melvara::platform
