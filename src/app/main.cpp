#include <cstdio>
#include <cstdlib>

#include "app/job_hooks.h"
#include "app/startup.h"
#include "platform/curl_global.h"

int main(int argc, char** argv) {
    // Before any thread starts, the toolkit's own included.
    const melvara::platform::CurlGlobal curl;
    melvara::app::RegisterJobHooks();
    const int exitCode = melvara::app::RunMelvara(argc, argv);
    // A parse job or a download may still be running on a detached thread, using
    // process-wide caches (connections, compiled patterns, handle tables). The
    // exit routines have run; end here without destroying those under it.
    std::fflush(nullptr);
    std::_Exit(exitCode);
}
