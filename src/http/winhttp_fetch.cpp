#include "http/winhttp_fetch.h"

#include <climits>
#include <string>
#include <string_view>
#include <utility>

#include "http/cookies.h"
#include "http/header_lines.h"
#include "http/page_decoding.h"
#include "http/wide_text.h"
#include "platform/message_pump.h"
#include "platform/winhttp.h"
#include "regex/regex_object.h"
#include "text/text_ops.h"
#include "text/text_utils.h"

namespace melvara::http {

namespace {

namespace wh = platform;

// The messages in code page 936; the comment beside each gives its text.
constexpr std::string_view kMessages[] = {
    "700 \xB5\xB1\xC7\xB0\xCF\xB5\xCD\xB3\xB2\xBB\xD6\xA7\xB3\xD6WinHttp\xB7\xFE\xCE\xF1!",  // 当前系统不支持WinHttp服务!
    "701 \xBD\xE2\xCE\xF6URL\xB5\xD8\xD6\xB7\xCA\xA7\xB0\xDC!",      // 解析URL地址失败!
    "702 \xB4\xB4\xBD\xA8WinHttp\xBB\xE1\xBB\xB0\xCA\xA7\xB0\xDC!",  // 创建WinHttp会话失败!
    "703 \xB4\xB4\xBD\xA8WinHttp\xC1\xAC\xBD\xD3\xCA\xA7\xB0\xDC!",  // 创建WinHttp连接失败!
    "704 \xB4\xB4\xBD\xA8WinHttp\xC7\xEB\xC7\xF3\xCA\xA7\xB0\xDC!",  // 创建WinHttp请求失败!
    "705 \xC9\xE8\xD6\xC3\xB3\xAC\xCA\xB1\xCA\xB1\xBC\xE4\xCA\xA7\xB0\xDC!",  // 设置超时时间失败!
    "",
    "707 \xC9\xE8\xD6\xC3\xB4\xFA\xC0\xED\xC6\xBE\xD6\xA4\xCA\xA7\xB0\xDC!",  // 设置代理凭证失败!
    "708 \xBD\xFB\xD6\xB9\xD7\xD4\xB6\xAF\xC9\xE8\xD6\xC3"
    "Cookies\xCA\xA7\xB0\xDC!",  // 禁止自动设置Cookies失败!
    "709 \xD6\xD8\xB6\xA8\xCF\xF2\xC9\xE8\xD6\xC3\xCA\xA7\xB0\xDC!",  // 重定向设置失败!
    "710 \xC9\xE8\xD6\xC3\xD0\xAD\xD2\xE9\xCD\xB7\xCA\xA7\xB0\xDC!",  // 设置协议头失败!
    "711 \xB7\xA2\xCB\xCD\xC7\xEB\xC7\xF3\xCA\xA7\xB0\xDC!",          // 发送请求失败!
    "712 \xB7\xFE\xCE\xF1\xC6\xF7\xCE\xB4\xCF\xEC\xD3\xA6!",          // 服务器未响应!
    "713 \xB6\xC1\xC8\xA1\xCA\xFD\xBE\xDD\xCA\xA7\xB0\xDC!",          // 读取数据失败!
};

// Wide text as the WinHttp functions take it: code units, zero-terminated by c_str().
std::u16string Units(const WideText& wide) {
    std::u16string units(wide.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(wide[2 * i] | (wide[2 * i + 1] << 8));
    }
    if (!units.empty() && units.back() == u'\0') {
        units.pop_back();  // c_str() supplies it, also for the empty text
    }
    return units;
}

WideText AsWide(std::u16string_view units) {
    WideText wide;
    wide.reserve(units.size() * 2);
    for (const char16_t unit : units) {
        wide.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        wide.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return wide;
}

std::u16string Wide(const Text& text) {
    return Units(AnsiToUtf16(text));
}

// Request, connection and session, closed in that order on every way out.
struct Handles {
    wh::HINTERNET session = nullptr;
    wh::HINTERNET connection = nullptr;
    wh::HINTERNET request = nullptr;

    Handles() = default;
    Handles(const Handles&) = delete;
    Handles& operator=(const Handles&) = delete;
    ~Handles() { Close(); }

    void Close() {
        for (wh::HINTERNET* handle : {&request, &connection, &session}) {
            if (*handle != nullptr) {
                wh::WinHttpCloseHandle(*handle);
                *handle = nullptr;
            }
        }
    }
};

const char* MethodName(int method) {
    switch (method) {
        case 1:
            return "POST";
        case 2:
            return "HEAD";
        case 3:
            return "PUT";
        default:
            return "GET";
    }
}

Text CompleteHeaders(const Text& headers, const Text& cookies) {
    struct Default {
        std::string_view key;
        bool caseInsensitive;
        std::string_view line;
    };
    static constexpr Default kDefaults[] = {
        {"User-Agent: ", true,
         "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"},
        {"Accept: ", true, "Accept: text/html, application/xhtml+xml, */*\r\n"},
        {"Accept-Encoding: ", true, "Accept-Encoding: gbk, GB2312\r\n"},
        {"Accept-Language: ", true, "Accept-Language: zh-cn\r\n"},
        {"Content-Type:", false, "Content-Type: application/x-www-form-urlencoded\r\n"},
        {"Cache-Control: ", true, "Cache-Control: no-cache\r\n"},
    };
    Text h = headers.empty() ? Text() : headers + "\r\n";
    for (const Default& d : kDefaults) {
        if (!text::Contains(h, d.key, d.caseInsensitive)) {
            h += d.line;
        }
    }
    if (!cookies.empty() && !text::Contains(h, "Cookie: ", true)) {
        h += "Cookie: " + cookies + "\r\n";
    }
    return h;
}

int TimeoutMilliseconds(int seconds) {
    if (seconds < 1) {
        return 30000;
    }
    const long long ms = static_cast<long long>(seconds) * 1000;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

bool SetOption(wh::HINTERNET request, wh::WinHttpDword option, wh::WinHttpDword value) {
    return wh::WinHttpSetOption(request, option, &value, sizeof value);
}

}  // namespace

Text WinHttpFetchMessage(int number) {
    if (number < 700 || number > 713) {
        return {};
    }
    return Text(kMessages[number - 700]);
}

Text FetchWithWinHttp(const Text& url, const WinHttpFetchOptions& options) {
    regex::RegexObject regex;  // destroyed last, after the handles
    Handles handles;
    // Leaving by a failure: the message, then handles closed and messages pumped.
    const auto fail = [&](int number) {
        if (options.statusText != nullptr) {
            *options.statusText = WinHttpFetchMessage(number);
        }
        handles.Close();
        platform::ProcessPendingMessages();
        return Text();
    };

    if (!wh::WinHttpCheckPlatform()) {
        return fail(700);
    }

    const std::u16string wideUrl = Wide(url);
    wh::URL_COMPONENTS parts;
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = ~wh::WinHttpDword{0};
    parts.dwHostNameLength = ~wh::WinHttpDword{0};
    parts.dwUrlPathLength = ~wh::WinHttpDword{0};
    parts.dwExtraInfoLength = ~wh::WinHttpDword{0};
    if (!wh::WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts)) {
        return fail(701);
    }
    const Text host =
        Utf16ToAnsi(AsWide(std::u16string_view(parts.lpszHostName, parts.dwHostNameLength)));
    const bool secure = parts.nScheme == wh::INTERNET_SCHEME_HTTPS;
    // An empty path becomes "/"; the query still follows it, or "http://h?id=5"
    // would ask for a different resource than the address names.
    std::u16string objectName(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (objectName.empty()) {
        objectName.push_back(u'/');
    }
    objectName.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    const Text proxy = options.proxy.value_or(Text());
    const wh::WinHttpDword accessType =
        proxy.empty() ? wh::WINHTTP_ACCESS_TYPE_NO_PROXY : wh::WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    const std::u16string proxyName =
        proxy.empty() ? std::u16string() : Wide(secure ? proxy : "http=" + proxy);
    handles.session = wh::WinHttpOpen(nullptr, accessType, proxyName.c_str(), nullptr, 0);
    if (handles.session == nullptr) {
        return fail(702);
    }
    handles.connection = wh::WinHttpConnect(handles.session, Wide(host).c_str(), parts.nPort, 0);
    if (handles.connection == nullptr) {
        return fail(703);
    }
    handles.request = wh::WinHttpOpenRequest(
        handles.connection, Wide(MethodName(options.method.value_or(0))).c_str(),
        objectName.c_str(), nullptr, nullptr, nullptr, secure ? wh::WINHTTP_FLAG_SECURE : 0);
    if (handles.request == nullptr) {
        return fail(704);
    }
    const int t = TimeoutMilliseconds(options.timeoutSeconds.value_or(0));
    if (!wh::WinHttpSetTimeouts(handles.request, t, t, t, t)) {
        return fail(705);
    }
    const Text user = options.user.value_or(Text());
    const Text password = options.password.value_or(Text());
    if (!user.empty() && !password.empty() &&
        !wh::WinHttpSetCredentials(handles.request, wh::WINHTTP_AUTH_TARGET_SERVER,
                                   wh::WINHTTP_AUTH_SCHEME_BASIC, Wide(user).c_str(),
                                   Wide(password).c_str(), nullptr)) {
        return fail(707);
    }
    const Text proxyUser = options.proxyUser.value_or(Text());
    const Text proxyPassword = options.proxyPassword.value_or(Text());
    if (!proxyUser.empty() && !proxyPassword.empty() &&
        !wh::WinHttpSetCredentials(handles.request, wh::WINHTTP_AUTH_TARGET_PROXY,
                                   wh::WINHTTP_AUTH_SCHEME_BASIC, Wide(proxyUser).c_str(),
                                   Wide(proxyPassword).c_str(), nullptr)) {
        return fail(707);
    }
    const bool cookiesGiven = options.cookies != nullptr;
    const bool cookiePolicySet =
        cookiesGiven ? SetOption(handles.request, wh::WINHTTP_OPTION_ENABLE_FEATURE,
                                 wh::WINHTTP_ENABLE_SSL_REVOCATION)
                     : SetOption(handles.request, wh::WINHTTP_OPTION_DISABLE_FEATURE,
                                 wh::WINHTTP_DISABLE_COOKIES);
    if (!cookiePolicySet) {
        return fail(708);
    }
    if (options.noRedirect.value_or(false) &&
        !SetOption(handles.request, wh::WINHTTP_OPTION_DISABLE_FEATURE,
                   wh::WINHTTP_DISABLE_REDIRECTS)) {
        return fail(709);
    }

    const std::u16string headerText = Wide(CompleteHeaders(
        options.headers.value_or(Text()), cookiesGiven ? *options.cookies : Text()));
    if (!wh::WinHttpAddRequestHeaders(
            handles.request, headerText.c_str(), static_cast<wh::WinHttpDword>(headerText.size()),
            wh::WINHTTP_ADDREQ_FLAG_ADD | wh::WINHTTP_ADDREQ_FLAG_REPLACE)) {
        return fail(710);
    }
    const Text postData = options.postData.value_or(Text());
    const auto bodyLength = static_cast<wh::WinHttpDword>(postData.size());
    if (!wh::WinHttpSendRequest(handles.request, nullptr, 0,
                                postData.empty() ? nullptr : postData.data(), bodyLength,
                                bodyLength, 0)) {
        return fail(711);
    }
    if (!wh::WinHttpReceiveResponse(handles.request, nullptr)) {
        return fail(712);
    }

    Bytes body;
    for (;;) {
        wh::WinHttpDword available = 0;
        if (!wh::WinHttpQueryDataAvailable(handles.request, &available) || available < 1) {
            break;
        }
        // Read straight into the body's tail.
        const std::size_t before = body.size();
        body.resize(before + available);
        wh::WinHttpDword read = 0;
        const bool ok =
            wh::WinHttpReadData(handles.request, body.data() + before, available, &read);
        body.resize(before + (ok ? read : 0));
        if (!ok) {
            if (options.statusText != nullptr) {
                *options.statusText = WinHttpFetchMessage(713);
            }
            break;
        }
    }

    wh::WinHttpDword size = 0;
    wh::WinHttpDword index = 0;
    wh::WinHttpQueryHeaders(handles.request, wh::WINHTTP_QUERY_RAW_HEADERS_CRLF, nullptr, nullptr,
                            &size, &index);
    WideText raw(size, 0);
    index = 0;
    if (!wh::WinHttpQueryHeaders(handles.request, wh::WINHTTP_QUERY_RAW_HEADERS_CRLF, nullptr,
                                 raw.data(), &size, &index)) {
        handles.Close();
        platform::ProcessPendingMessages();
        return {};
    }

    Text responseHeaders = Utf16ToAnsi(raw);
    if (options.statusText != nullptr) {
        const int lineEnd = text::Find(responseHeaders, "\r\n", 10);
        *options.statusText =
            lineEnd < 0 ? Text()
                        : responseHeaders.substr(9, static_cast<std::size_t>(lineEnd - 10));
    }
    responseHeaders = NormaliseSetCookie(responseHeaders);

    ReturnedCookies returned;
    for (const Text& line : text::Split(responseHeaders, "\r\n")) {
        returned.Add(line);
        if (options.location != nullptr && line.size() >= 10 &&
            text::Find(line.substr(0, 10), "Location: ", 1, true) == 1) {
            *options.location = line.substr(10);
        }
        platform::ProcessPendingMessages();
    }
    Text returnedCookies = returned.Joined();
    if (cookiesGiven) {
        MergeCookies(*options.cookies, returnedCookies);
    }
    if (options.responseHeaders != nullptr) {
        *options.responseHeaders = responseHeaders;
    }
    if (options.returnedCookies != nullptr) {
        *options.returnedCookies = returnedCookies;
    }
    Text result = DecodePageText(body, regex);
    if (options.responseBytes != nullptr) {
        *options.responseBytes = std::move(body);
    }
    handles.Close();
    platform::ProcessPendingMessages();
    return result;
}

}  // namespace melvara::http
