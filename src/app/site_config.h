#pragma once

// The one configuration value: the music site's host, optionally with a port.

#include "text/text_types.h"

namespace melvara::app {

// The host the program was built for (the MELVARA_SITE_HOST build setting).
Text BuiltSiteHost();

// MELVARA_SITE_HOST from the environment when set and not empty, else the
// built host.
Text SiteHost();

// "https://" + SiteHost() + "/laoge/500shou.htm": UrlBox's initial text.
Text PlaylistPageAddress();

}  // namespace melvara::app
