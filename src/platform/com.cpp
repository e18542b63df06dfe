#include "platform/com.h"

namespace melvara::platform {

namespace {
thread_local int comInitCount = 0;
}  // namespace

long CoInitialize(void* /*reserved*/) {
    return comInitCount++ == 0 ? 0 : 1;  // S_OK first, S_FALSE when already initialised
}

void CoUninitialize() {
    if (comInitCount > 0)
        --comInitCount;
}

int ComInitCount() {
    return comInitCount;
}

ComScope::ComScope() {
    CoInitialize();
}

ComScope::~ComScope() {
    CoUninitialize();
}

}  // namespace melvara::platform
