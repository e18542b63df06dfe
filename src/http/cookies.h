#pragma once

// Keeping the client-side cookie text that both HTTP clients send as their
// "Cookie" header up to date with the cookies a response sets.

#include <string_view>

#include "text/text_types.h"

namespace melvara::http {

// Removes every space from both texts (written back), then merges newCookies
// into cookies: an existing name takes the new value in place, a new name is
// appended, and cookies whose value is empty or "deleted" are dropped. The
// merged text is "name=value;" pieces without spaces. Returns a copy of it.
Text MergeCookies(Text& cookies, Text& newCookies);

// The text before the first "=", trimmed; the whole piece, trimmed, without "=".
Text CookieName(std::string_view piece);
// Everything after the first "=", untrimmed; "" without "=".
Text CookieValue(std::string_view piece);

}  // namespace melvara::http
