#pragma once

#include <string>
#include <string_view>

namespace melvara::tools {

// UTF-8 to GBK for the site's GBK pages. A character GBK cannot hold, or a malformed
// UTF-8 sequence, becomes '?': a page is always produced.
std::string EncodeGbk(std::string_view utf8);

}  // namespace melvara::tools
