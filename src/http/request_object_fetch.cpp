#include "http/request_object_fetch.h"

#include <climits>
#include <memory>

#include "http/cookies.h"
#include "http/header_lines.h"
#include "platform/com.h"
#include "text/text_ops.h"
#include "text/text_utils.h"

namespace melvara::http {

namespace {

constexpr long kIgnoreAllCertificateErrors = 0x3300;

const char* MethodName(int method) {
    switch (method) {
        case 1:
            return "POST";
        case 2:
            return "HEAD";
        default:
            return "GET";
    }
}

void CompleteHeaders(Text& headers, const Text& url) {
    if (headers.empty()) {
        headers = "Accept: */*";
    } else if (!text::Contains(headers, "Accept:")) {
        headers += "\r\nAccept: */*";
    }
    if (!text::Contains(headers, "Referer:")) {
        headers += "\r\nReferer: " + url;
    }
    if (!text::Contains(headers, "Accept-Language:")) {
        headers += "\r\nAccept-Language: zh-cn";
    }
    if (!text::Contains(headers, "User-Agent:")) {
        headers += "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
    }
    if (!text::Contains(headers, "Content-Type:")) {
        headers += "\r\nContent-Type: application/x-www-form-urlencoded";
    }
}

Text CookiesSetBy(const Text& responseHeaders) {
    ReturnedCookies returned;
    for (const Text& line : text::Split(responseHeaders, "\r\n")) {
        returned.Add(line);
    }
    return returned.Joined();
}

long TimeoutMilliseconds(int seconds) {
    if (seconds < 1) {
        return 15000;
    }
    const long long ms = static_cast<long long>(seconds) * 1000;
    return ms > INT_MAX ? INT_MAX : static_cast<long>(ms);
}

}  // namespace

Bytes FetchWithRequestObject(const Text& url, const RequestObjectFetchOptions& options) {
    const platform::ComScope com;
    int method = options.method.value_or(0);
    if (method < 0 || method > 2) {
        method = 0;
    }

    std::unique_ptr<platform::RequestObject> created;
    platform::RequestObject* object = options.requestObject;
    if (object == nullptr) {
        created = platform::CreateRequestObject(platform::kRequestObjectName);
        object = created.get();
        if (object == nullptr) {
            return {};
        }
    }

    const int timeoutSeconds = options.timeoutSeconds.value_or(0);
    if (timeoutSeconds != -1) {
        const long t = TimeoutMilliseconds(timeoutSeconds);
        object->SetTimeouts(t, t, t, t);
    }
    const Text proxy = options.proxy.value_or(Text());
    if (!proxy.empty()) {
        object->SetProxy(platform::kProxySettingProxy, proxy);
    }
    object->Open(MethodName(method), url, false);
    const Text proxyUser = options.proxyUser.value_or(Text());
    if (!proxy.empty() && !proxyUser.empty()) {
        object->SetCredentials(proxyUser, options.proxyPassword.value_or(Text()),
                               options.credentialsFlag.value_or(platform::kCredentialsForProxy));
    }
    if (options.noRedirect.value_or(false)) {
        object->SetOption(platform::kOptionEnableRedirects, 0);
    }
    object->SetOption(platform::kOptionSslErrorIgnoreFlags, kIgnoreAllCertificateErrors);

    Text headers = options.headers != nullptr ? *options.headers : Text();
    CompleteHeaders(headers, url);
    if (options.headers != nullptr) {
        *options.headers = headers;
    }

    Text cookies = options.cookies != nullptr ? *options.cookies : Text();
    if (!cookies.empty()) {
        object->SetRequestHeader("Cookie", cookies);
    }
    if (!text::Contains(headers, "\r\n")) {
        object->SetRequestHeader(HeaderName(headers), HeaderValue(headers));
    } else {
        for (const Text& line : text::Split(headers, "\r\n")) {
            if (!line.empty()) {
                object->SetRequestHeader(HeaderName(line), HeaderValue(line));
            }
        }
    }

    if (options.postBytes.has_value() && !options.postBytes->empty()) {
        object->Send(*options.postBytes);
    } else {
        object->Send(options.postData.value_or(Text()));
    }

    Bytes body = object->ResponseBody();
    Text responseHeaders = NormaliseSetCookie(object->GetAllResponseHeaders());
    const long status = object->Status();
    Text returnedCookies = CookiesSetBy(responseHeaders);
    MergeCookies(cookies, returnedCookies);

    if (options.responseHeaders != nullptr) {
        *options.responseHeaders = responseHeaders;
    }
    if (options.statusCode != nullptr) {
        *options.statusCode = static_cast<int>(status);
    }
    if (options.returnedCookies != nullptr) {
        *options.returnedCookies = returnedCookies;
    }
    if (options.cookies != nullptr) {
        *options.cookies = cookies;
    }
    created.reset();  // before COM goes
    return body;
}

}  // namespace melvara::http
