#pragma once

// Turning a fetched page's body into GBK text: a charset that a meta tag
// declares within the first 1024 bytes decides whether the body is converted.

#include "regex/regex_object.h"
#include "text/text_types.h"

namespace melvara::http {

// The body's bytes up to its first zero byte, unchanged, when no meta tag in
// the first 1024 of them names a charset, or it names "gbk" or "gb2312" (case
// significant); otherwise the whole body decoded from that charset into GBK.
// Runs one Search on regex, which belongs to the caller.
Text DecodePageText(const Bytes& body, regex::RegexObject& regex);

}  // namespace melvara::http
