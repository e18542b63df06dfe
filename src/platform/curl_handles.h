#pragma once

// Owners for libcurl's C handles. Private to the platform library: public
// headers never include this file, so callers never see libcurl.

#include <curl/curl.h>

#include <memory>

namespace melvara::platform {

struct CurlEasyDeleter {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
struct CurlShareDeleter {
    void operator()(CURLSH* handle) const noexcept { curl_share_cleanup(handle); }
};
struct CurlSlistDeleter {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
struct CurlUrlDeleter {
    void operator()(CURLU* handle) const noexcept { curl_url_cleanup(handle); }
};
struct CurlFreeDeleter {
    void operator()(char* text) const noexcept { curl_free(text); }
};

using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlShare = std::unique_ptr<CURLSH, CurlShareDeleter>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistDeleter>;
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;
using CurlText = std::unique_ptr<char, CurlFreeDeleter>;

// A new easy handle attached to the process-wide cache of connections, TLS
// sessions and DNS answers, with the settings both clients share: no signals,
// no proxy from the environment, trusted CAs from the system store plus
// CURL_CA_BUNDLE / SSL_CERT_FILE. Null when libcurl could not make one.
// Defined beside the cache, in curl_global.cpp.
CurlEasy NewSharedEasy();

}  // namespace melvara::platform
