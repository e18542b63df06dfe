#pragma once

#include <curl/curl.h>

#include <string>

namespace melvara::tools::testing {

// What one libcurl GET brought back.
struct FetchResult {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
    curl_off_t contentLength = -1;  // as announced by the server, -1 when none
    std::string contentType;
};

// GET url trusting only caFile (an empty caFile leaves libcurl's default bundle).
// A host of the form *.localhost is resolved by libcurl itself to the loopback address.
FetchResult CurlGet(const std::string& url, const std::string& caFile, long timeoutMs = 20000);

}  // namespace melvara::tools::testing
