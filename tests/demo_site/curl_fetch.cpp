#include "curl_fetch.h"

#include <memory>

namespace melvara::tools::testing {
namespace {

struct EasyDeleter {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};

std::size_t Append(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

}  // namespace

FetchResult CurlGet(const std::string& url, const std::string& caFile, long timeoutMs) {
    FetchResult result;
    const std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
    if (!curl) {
        result.code = CURLE_FAILED_INIT;
        return result;
    }
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, timeoutMs);
    if (!caFile.empty()) {
        curl_easy_setopt(curl.get(), CURLOPT_CAINFO, caFile.c_str());
        curl_easy_setopt(curl.get(), CURLOPT_CAPATH, nullptr);
    }
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &result.body);
    result.code = curl_easy_perform(curl.get());
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &result.status);
    curl_easy_getinfo(curl.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &result.contentLength);
    char* type = nullptr;
    if (curl_easy_getinfo(curl.get(), CURLINFO_CONTENT_TYPE, &type) == CURLE_OK &&
        type != nullptr) {
        result.contentType = type;
    }
    return result;
}

}  // namespace melvara::tools::testing
