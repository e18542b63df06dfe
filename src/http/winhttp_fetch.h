#pragma once

// One synchronous HTTP request through the WinHttp functions, returning the
// body decoded by the charset the page declares. A step that fails writes its
// numbered message ("700 ..." to "713 ...") into statusText and the fetch
// returns ""; an HTTP error status is a response like any other.

#include <optional>

#include "text/text_types.h"

namespace melvara::http {

// Every field may be left out. An input left out reads as the default named
// beside it; an in/out or out parameter is the caller's variable, given by
// address, and what the fetch writes into one left out is discarded. For
// cookies alone, leaving it out (nullptr) differs from giving "".
struct WinHttpFetchOptions {
    std::optional<int> method =
        std::nullopt;  // 0 "GET" (default), 1 "POST", 2 "HEAD", 3 "PUT"; others "GET"
    std::optional<Text> postData = std::nullopt;  // its bytes are the request body
    Text* cookies = nullptr;          // in/out; given: sent when non-empty and merged afterwards
    Text* returnedCookies = nullptr;  // out: pieces joined by "; " (spaces gone after a merge)
    std::optional<Text> headers = std::nullopt;     // extra CR LF lines, no trailing CR LF
    Text* responseHeaders = nullptr;                // out: the raw head, CR LF lines
    std::optional<bool> noRedirect = std::nullopt;  // default false
    std::optional<Text> user = std::nullopt;  // Basic credentials, used when both are non-empty
    std::optional<Text> password = std::nullopt;
    std::optional<Text> proxy = std::nullopt;  // "host[:port]"; default "": direct
    std::optional<Text> proxyUser = std::nullopt;
    std::optional<Text> proxyPassword = std::nullopt;
    std::optional<int> timeoutSeconds = std::nullopt;  // per phase; below 1: 30 s
    Text* location = nullptr;        // out: written only when the response has one
    Text* statusText = nullptr;      // out: "200 OK", or the failing step's message
    Bytes* responseBytes = nullptr;  // out: the body as received
};

Text FetchWithWinHttp(const Text& url, const WinHttpFetchOptions& options = {});

// The message a failing step writes (GBK), by its number; "" for a number
// without one (706 and anything outside 700 to 713).
Text WinHttpFetchMessage(int number);

}  // namespace melvara::http
