#include "http/header_lines.h"

#include "text/text_ops.h"
#include "text/text_utils.h"

namespace melvara::http {

Text HeaderName(std::string_view line) {
    const auto colon = line.find(':');
    return colon == std::string_view::npos ? Text() : text::Trim(line.substr(0, colon));
}

Text HeaderValue(std::string_view line) {
    const auto colon = line.find(':');
    return colon == std::string_view::npos ? Text() : text::Trim(line.substr(colon + 1));
}

Text NormaliseSetCookie(std::string_view responseHeaders) {
    return text::Replace(responseHeaders, "Set-Cookie", "Set-Cookie", true);
}

bool ReturnedCookies::Add(std::string_view line) {
    if (!text::Contains(line, "Set-Cookie")) {
        return false;
    }
    const Text piece = text::Contains(line, ";")
                           ? text::TextBetween(line, "Set-Cookie:", ";", 0, false)
                           : text::Replace(line, "Set-Cookie:", "", true);
    if (addedAny_) {
        joined_ += "; ";
    }
    joined_ += text::Trim(piece);
    addedAny_ = true;
    return true;
}

}  // namespace melvara::http
