#include "app/site_config.h"

#include <cstdlib>

#include "platform/codepage.h"

#ifndef MELVARA_BUILT_SITE_HOST
#error "MELVARA_BUILT_SITE_HOST must be defined by the build"
#endif

namespace melvara::app {

Text BuiltSiteHost() {
    return MELVARA_BUILT_SITE_HOST;
}

Text SiteHost() {
    const char* fromEnvironment = std::getenv("MELVARA_SITE_HOST");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
        return platform::Utf8ToGbk(fromEnvironment);
    }
    return BuiltSiteHost();
}

Text PlaylistPageAddress() {
    return "https://" + SiteHost() + "/laoge/500shou.htm";
}

}  // namespace melvara::app
