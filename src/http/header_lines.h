#pragma once

// Taking a request header line "Name: value" apart.

#include <string_view>

#include "text/text_types.h"

namespace melvara::http {

// The text before the first ":", trimmed at both ends; "" without ":".
Text HeaderName(std::string_view line);
// Everything after the first ":" (further colons included), trimmed; "" without ":".
Text HeaderValue(std::string_view line);

}  // namespace melvara::http
