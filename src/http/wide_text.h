#pragma once

// The conversions that carry texts across the wide-character HTTP API. Unlike
// TextToWide and WideToText they always use code page 936.

#include "text/text_types.h"

namespace melvara::http {

// Text read in code page 936 -> wide text ending with one zero unit; "" gives
// empty Bytes, without a zero unit. Unreadable bytes become U+FFFD.
WideText AnsiToUtf16(const Text& text);

// Wide text (an odd last byte ignored) -> code page 936, ending at the first
// zero unit. Characters the code page cannot hold become '?'.
Text Utf16ToAnsi(const WideText& wide);

}  // namespace melvara::http
