#include "app/job_hooks.h"
#include "app/startup.h"
#include "platform/curl_global.h"

int main(int argc, char** argv) {
    // Before any thread starts, the toolkit's own included.
    const melvara::platform::CurlGlobal curl;
    melvara::app::RegisterJobHooks();
    return melvara::app::RunMelvara(argc, argv);
}
