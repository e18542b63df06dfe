#pragma once

// One HTTP request through the request object ("WinHttp.WinHttpRequest.5.1"),
// returning the body as bytes. The fetch completes the caller's header text with
// its default headers, ignores certificate errors, and merges the cookies the
// response sets into the caller's cookie text. No member failure stops it: a
// request that gets no response gives an empty body and status 0.

#include <optional>

#include "platform/request_object.h"
#include "text/text_types.h"

namespace melvara::http {

// Every field may be left out. An input left out reads as the default named
// beside it; an in/out or out parameter is the caller's variable, given by
// address, and what the fetch writes into one left out is discarded. Fill it
// with designated initialisers in this order: {.method = 1, .cookies = &jar}.
struct RequestObjectFetchOptions {
    std::optional<int> method = std::nullopt;  // 0 "GET" (default), 1 "POST", 2 "HEAD"; others: 0
    std::optional<Text> postData = std::nullopt;  // sent when postBytes is empty
    Text* cookies = nullptr;                      // in/out: sent as "Cookie", then merged
    Text* returnedCookies = nullptr;              // out: "name=value" pieces the response sets
    Text* headers = nullptr;          // in/out: CR LF lines; completed with the defaults
    Text* responseHeaders = nullptr;  // out
    int* statusCode = nullptr;        // out
    std::optional<bool> noRedirect = std::nullopt;  // default false
    std::optional<Bytes> postBytes = std::nullopt;  // sent instead of postData when non-empty
    std::optional<Text> proxy = std::nullopt;       // default "": direct
    std::optional<int> timeoutSeconds =
        std::nullopt;  // default 0 (15 s); -1 keeps the object's own
    std::optional<Text> proxyUser = std::nullopt;
    std::optional<Text> proxyPassword = std::nullopt;
    std::optional<int> credentialsFlag =
        std::nullopt;  // default 1: the credentials are for the proxy
    platform::RequestObject* requestObject = nullptr;  // used instead of a new object
};

Bytes FetchWithRequestObject(const Text& url, const RequestObjectFetchOptions& options = {});

}  // namespace melvara::http
