#include "http/header_lines.h"

#include "text/text_ops.h"

namespace melvara::http {

Text HeaderName(std::string_view line) {
    const auto colon = line.find(':');
    return colon == std::string_view::npos ? Text() : text::Trim(line.substr(0, colon));
}

Text HeaderValue(std::string_view line) {
    const auto colon = line.find(':');
    return colon == std::string_view::npos ? Text() : text::Trim(line.substr(colon + 1));
}

}  // namespace melvara::http
