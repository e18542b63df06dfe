#pragma once

// Taking a request header line "Name: value" apart.

#include <string_view>

#include "text/text_types.h"

namespace melvara::http {

// The text before the first ":", trimmed at both ends; "" without ":".
Text HeaderName(std::string_view line);
// Everything after the first ":" (further colons included), trimmed; "" without ":".
Text HeaderValue(std::string_view line);

// Response headers with every letter-case variant of "Set-Cookie" written as
// "Set-Cookie".
Text NormaliseSetCookie(std::string_view responseHeaders);

// Collects the cookies that response header lines set, as the pieces "name=value"
// joined by "; ": a line holding "Set-Cookie" gives the text between
// "Set-Cookie:" and the first ";" after it, or without a ";" the line less every
// "Set-Cookie:", trimmed.
class ReturnedCookies {
  public:
    // Returns whether the line set a cookie.
    bool Add(std::string_view line);
    const Text& Joined() const { return joined_; }

  private:
    Text joined_;
    bool addedAny_ = false;
};

}  // namespace melvara::http
