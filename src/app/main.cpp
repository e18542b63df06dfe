#include "app/job_hooks.h"
#include "app/startup.h"

int main(int argc, char** argv) {
    melvara::app::RegisterJobHooks();
    return melvara::app::RunMelvara(argc, argv);
}
