#pragma once

// Cutting text between markers, and the code-page conversions the jobs and the
// HTTP clients share.

#include <string_view>

#include "text/text_types.h"

namespace melvara::text {

// Stands for one double quote inside a marker, so markers can hold quotes.
inline constexpr std::string_view kQuoteMarker = "#\xD2\xFD\xBA\xC5";  // "#引号" in GBK

// The text strictly between the first front marker at or after start (1-based;
// below 1 searches from the first byte) and the next back marker after it; ""
// when either is missing.
Text TextBetween(std::string_view text, std::string_view front, std::string_view back,
                 int start = 0, bool caseInsensitive = false);

// Text in codePage -> wide text ending with one zero unit (the default code
// page is UTF-8). Malformed input becomes U+FFFD.
WideText TextToWide(std::string_view text, unsigned codePage = 65001);

// Wide text (up to its first zero unit) -> text in codePage (0: the ANSI code
// page, 936). Characters the code page cannot hold become '?'.
Text WideToText(const WideText& wide, unsigned codePage = 0);

// UTF-8 bytes -> GBK text, through UTF-16.
Text Utf8ToAnsi(std::string_view text);

}  // namespace melvara::text
