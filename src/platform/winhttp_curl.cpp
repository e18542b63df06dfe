#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "platform/codepage.h"
#include "platform/curl_global.h"
#include "platform/curl_handles.h"
#include "platform/curl_transfer.h"
#include "platform/winhttp.h"

namespace melvara::platform {

namespace {

thread_local WinHttpDword lastError = 0;

bool Fail(WinHttpDword error) {
    lastError = error;
    return false;
}

HINTERNET FailHandle(WinHttpDword error) {
    lastError = error;
    return nullptr;
}

std::u16string_view WideView(const char16_t* text) {
    return text == nullptr ? std::u16string_view() : std::u16string_view(text);
}

std::string ToUtf8(std::u16string_view wide) {
    if (wide.empty()) {
        return {};
    }
    const int units = static_cast<int>(wide.size());
    const int size =
        WideCharToMultiByte(kCodePageUtf8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
    if (size > 0) {
        WideCharToMultiByte(kCodePageUtf8, 0, wide.data(), units, out.data(), size, nullptr,
                            nullptr);
    }
    return out;
}

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

struct Timeouts {
    long resolveMs = 0;
    long connectMs = 60000;
    long sendMs = 30000;
    long receiveMs = 30000;
};

struct Session {
    std::string proxyList;  // empty: direct
    Timeouts timeouts;
};

struct Connection {
    Session session;
    std::string host;  // UTF-8
    INTERNET_PORT port = 0;
};

struct HeaderLine {
    std::string name;
    std::string line;  // exactly as given
};

struct Request {
    std::string method;
    std::string url;
    bool secure = false;
    std::string proxy;
    Timeouts timeouts;
    bool serverCredentials = false;
    std::string user;
    std::string password;
    bool proxyCredentials = false;
    std::string proxyUser;
    std::string proxyPassword;
    bool cookiesDisabled = false;
    bool redirectsDisabled = false;
    std::vector<HeaderLine> headers;

    bool sent = false;
    bool received = false;
    TransferResult response;
    std::size_t readPosition = 0;
};

using HandleData = std::variant<Session, Connection, Request>;

struct Handle {
    std::mutex mutex;  // one call at a time on a handle
    HandleData data;
    explicit Handle(HandleData d) : data(std::move(d)) {}
};

class HandleTable {
  public:
    HINTERNET Add(HandleData data) {
        auto handle = std::make_shared<Handle>(std::move(data));
        HINTERNET key = handle.get();
        std::lock_guard lock(mutex_);
        handles_.emplace(key, std::move(handle));
        return key;
    }

    std::shared_ptr<Handle> Find(HINTERNET key) {
        std::lock_guard lock(mutex_);
        const auto found = handles_.find(key);
        return found == handles_.end() ? nullptr : found->second;
    }

    bool Remove(HINTERNET key) {
        std::shared_ptr<Handle> removed;  // released outside the lock
        std::lock_guard lock(mutex_);
        const auto found = handles_.find(key);
        if (found == handles_.end()) {
            return false;
        }
        removed = std::move(found->second);
        handles_.erase(found);
        return true;
    }

  private:
    std::mutex mutex_;
    std::unordered_map<HINTERNET, std::shared_ptr<Handle>> handles_;
};

HandleTable& Table() {
    static HandleTable table;
    return table;
}

// Runs f on the handle's data of type T under the handle's lock; a missing
// handle or one of another kind is an invalid handle.
template <typename T, typename F>
bool WithHandle(HINTERNET key, F&& f) {
    const auto handle = Table().Find(key);
    if (!handle) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    std::lock_guard lock(handle->mutex);
    T* data = std::get_if<T>(&handle->data);
    if (data == nullptr) {
        return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
    }
    return f(*data);
}

bool ValidTimeout(int ms) {
    return ms >= -1;
}
long TimeoutValue(int ms) {
    return ms <= 0 ? 0 : ms;
}

// The entry of a proxy list that serves the scheme: "scheme=server" entries
// serve their scheme, plain entries every scheme.
std::string ProxyFor(std::string_view list, bool secure) {
    const std::string_view scheme = secure ? "https" : "http";
    std::string fallback;
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find_first_of("; \t", start);
        if (end == std::string_view::npos) {
            end = list.size();
        }
        const std::string_view entry = list.substr(start, end - start);
        start = end + 1;
        if (entry.empty()) {
            continue;
        }
        const auto equals = entry.find('=');
        if (equals == std::string_view::npos) {
            if (fallback.empty()) {
                fallback.assign(entry);
            }
        } else if (EqualNoCase(entry.substr(0, equals), scheme)) {
            return std::string(entry.substr(equals + 1));
        }
    }
    return fallback;
}

// Splits header text at CR LF into "Name: value" lines; false when a non-empty
// line has no name.
bool ParseHeaderText(std::string_view text, std::vector<HeaderLine>& out) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 2;
        if (line.empty()) {
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || TrimSpaces(line.substr(0, colon)).empty() ||
            line.find_first_of("\r\n") != std::string_view::npos) {
            return false;
        }
        out.push_back({std::string(TrimSpaces(line.substr(0, colon))), std::string(line)});
    }
    return true;
}

bool ValueIsEmpty(const HeaderLine& header) {
    return TrimSpaces(std::string_view(header.line).substr(header.line.find(':') + 1)).empty();
}

bool AddHeaders(Request& request, std::string_view text, WinHttpDword modifiers) {
    std::vector<HeaderLine> lines;
    if (!ParseHeaderText(text, lines)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const bool add = (modifiers & (WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_ADD_IF_NEW)) != 0;
    const bool replace = (modifiers & WINHTTP_ADDREQ_FLAG_REPLACE) != 0;
    const bool onlyIfNew = (modifiers & WINHTTP_ADDREQ_FLAG_ADD_IF_NEW) != 0;
    auto& headers = request.headers;
    for (auto& line : lines) {
        auto existing = std::find_if(headers.begin(), headers.end(), [&](const HeaderLine& h) {
            return EqualNoCase(h.name, line.name);
        });
        if (existing != headers.end() && onlyIfNew) {
            return Fail(ERROR_INVALID_PARAMETER);
        }
        if (existing != headers.end() && replace) {
            if (ValueIsEmpty(line)) {
                headers.erase(existing);
            } else {
                *existing = std::move(line);  // keeps its place
            }
        } else if (add || !replace) {
            headers.push_back(std::move(line));
        }
    }
    return true;
}

std::string RawHeaders(const TransferResult& response) {
    std::string raw = response.statusLine + "\r\n";
    for (const auto& line : response.headerLines) {
        raw += line;
        raw += "\r\n";
    }
    raw += "\r\n";
    return raw;
}

// One part of a cracked URL: a pointer into the given text, or a copy into the
// caller's buffer.
bool SetPart(const char16_t* base, std::size_t position, std::size_t length, char16_t** pointer,
             WinHttpDword* partLength) {
    if (*partLength == 0) {
        return true;  // not wanted
    }
    if (*pointer == nullptr || *partLength == ~WinHttpDword{0}) {
        *pointer = const_cast<char16_t*>(base + position);
        *partLength = static_cast<WinHttpDword>(length);
        return true;
    }
    if (*partLength <= length) {
        *partLength = static_cast<WinHttpDword>(length + 1);
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::copy_n(base + position, length, *pointer);
    (*pointer)[length] = u'\0';
    *partLength = static_cast<WinHttpDword>(length);
    return true;
}

}  // namespace

bool WinHttpCheckPlatform() {
    return EnsureCurlGlobal();
}

bool WinHttpCrackUrl(const char16_t* url, WinHttpDword urlLength, WinHttpDword,
                     URL_COMPONENTS* components) {
    if (url == nullptr || components == nullptr ||
        components->dwStructSize != sizeof(URL_COMPONENTS)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::u16string_view text =
        urlLength == 0 ? WideView(url) : std::u16string_view(url, urlLength);
    const auto schemeEnd = text.find(u"://");
    if (schemeEnd == std::u16string_view::npos || schemeEnd == 0) {
        return Fail(ERROR_WINHTTP_UNRECOGNIZED_SCHEME);
    }
    const std::string scheme = ToUtf8(text.substr(0, schemeEnd));
    int schemeNumber = 0;
    if (EqualNoCase(scheme, "http")) {
        schemeNumber = INTERNET_SCHEME_HTTP;
    } else if (EqualNoCase(scheme, "https")) {
        schemeNumber = INTERNET_SCHEME_HTTPS;
    } else {
        return Fail(ERROR_WINHTTP_UNRECOGNIZED_SCHEME);
    }

    // Let libcurl judge the whole address; the positions are found below.
    if (!EnsureCurlGlobal()) {
        return Fail(ERROR_WINHTTP_INVALID_URL);
    }
    CurlUrl parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, ToUtf8(text).c_str(),
                                CURLU_URLENCODE | CURLU_ALLOW_SPACE) != CURLUE_OK) {
        return Fail(ERROR_WINHTTP_INVALID_URL);
    }

    const std::size_t authorityStart = schemeEnd + 3;
    std::size_t authorityEnd = text.find_first_of(u"/?#", authorityStart);
    if (authorityEnd == std::u16string_view::npos) {
        authorityEnd = text.size();
    }
    const std::u16string_view authority =
        text.substr(authorityStart, authorityEnd - authorityStart);
    const auto at = authority.rfind(u'@');
    const std::size_t hostStart =
        at == std::u16string_view::npos ? authorityStart : authorityStart + at + 1;
    std::size_t userEnd = hostStart, passwordStart = hostStart, passwordEnd = hostStart;
    if (at != std::u16string_view::npos) {
        const std::u16string_view userInfo = authority.substr(0, at);
        const auto colon = userInfo.find(u':');
        userEnd = authorityStart + (colon == std::u16string_view::npos ? at : colon);
        passwordStart = colon == std::u16string_view::npos ? hostStart - 1 : userEnd + 1;
        passwordEnd = hostStart - 1;
    }
    // The host, in brackets for an IPv6 address, then an optional ":port".
    std::size_t hostEnd = authorityEnd;
    std::size_t portStart = authorityEnd;
    std::size_t nameStart = hostStart;
    std::size_t nameEnd = authorityEnd;
    if (hostStart < authorityEnd && text[hostStart] == u'[') {
        const auto close = text.find(u']', hostStart);
        if (close == std::u16string_view::npos || close > authorityEnd) {
            return Fail(ERROR_WINHTTP_INVALID_URL);
        }
        nameStart = hostStart + 1;
        nameEnd = close;
        hostEnd = close + 1;
    } else {
        const auto colon = text.substr(hostStart, authorityEnd - hostStart).find(u':');
        if (colon != std::u16string_view::npos) {
            hostEnd = hostStart + colon;
        }
        nameEnd = hostEnd;
    }
    if (hostEnd < authorityEnd) {
        if (text[hostEnd] != u':') {
            return Fail(ERROR_WINHTTP_INVALID_URL);
        }
        portStart = hostEnd + 1;
    }
    if (nameEnd <= nameStart) {
        return Fail(ERROR_WINHTTP_INVALID_URL);
    }
    unsigned long port = schemeNumber == INTERNET_SCHEME_HTTPS ? INTERNET_DEFAULT_HTTPS_PORT
                                                               : INTERNET_DEFAULT_HTTP_PORT;
    if (portStart < authorityEnd) {
        port = 0;
        for (std::size_t i = portStart; i < authorityEnd; ++i) {
            if (text[i] < u'0' || text[i] > u'9' || port > 65535) {
                return Fail(ERROR_WINHTTP_INVALID_URL);
            }
            port = port * 10 + (text[i] - u'0');
        }
        if (port == 0 || port > 65535) {
            return Fail(ERROR_WINHTTP_INVALID_URL);
        }
    }
    std::size_t extraStart = text.find_first_of(u"?#", authorityEnd);
    if (extraStart == std::u16string_view::npos) {
        extraStart = text.size();
    }

    URL_COMPONENTS& c = *components;
    const char16_t* base = text.data();
    const bool ok =
        SetPart(base, 0, schemeEnd, &c.lpszScheme, &c.dwSchemeLength) &&
        SetPart(base, nameStart, nameEnd - nameStart, &c.lpszHostName, &c.dwHostNameLength) &&
        SetPart(base, authorityStart, userEnd - authorityStart, &c.lpszUserName,
                &c.dwUserNameLength) &&
        SetPart(base, passwordStart, passwordEnd - passwordStart, &c.lpszPassword,
                &c.dwPasswordLength) &&
        SetPart(base, authorityEnd, extraStart - authorityEnd, &c.lpszUrlPath,
                &c.dwUrlPathLength) &&
        SetPart(base, extraStart, text.size() - extraStart, &c.lpszExtraInfo, &c.dwExtraInfoLength);
    if (!ok) {
        return false;
    }
    c.nScheme = schemeNumber;
    c.nPort = static_cast<INTERNET_PORT>(port);
    return true;
}

HINTERNET WinHttpOpen(const char16_t*, WinHttpDword accessType, const char16_t* proxyName,
                      const char16_t*, WinHttpDword flags) {
    if ((flags & WINHTTP_FLAG_ASYNC) != 0 || !EnsureCurlGlobal()) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    Session session;
    if (accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
        session.proxyList = ToUtf8(WideView(proxyName));
        if (session.proxyList.find_first_not_of("; \t") == std::string::npos) {
            return FailHandle(ERROR_INVALID_PARAMETER);
        }
    } else if (accessType != WINHTTP_ACCESS_TYPE_NO_PROXY &&
               accessType != WINHTTP_ACCESS_TYPE_DEFAULT_PROXY) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    return Table().Add(std::move(session));
}

HINTERNET WinHttpConnect(HINTERNET session, const char16_t* serverName, INTERNET_PORT port,
                         WinHttpDword) {
    Connection connection;
    connection.host = ToUtf8(WideView(serverName));
    connection.port = port;
    if (connection.host.empty() ||
        connection.host.find_first_of("/?#@ \r\n") != std::string::npos) {
        return FailHandle(ERROR_WINHTTP_INVALID_URL);
    }
    const bool found = WithHandle<Session>(session, [&](Session& s) {
        connection.session = s;
        return true;
    });
    return found ? Table().Add(std::move(connection)) : nullptr;
}

HINTERNET WinHttpOpenRequest(HINTERNET connection, const char16_t* verb, const char16_t* objectName,
                             const char16_t*, const char16_t* referrer,
                             const char16_t* const* acceptTypes, WinHttpDword flags) {
    Request request;
    request.method = verb == nullptr || *verb == u'\0' ? "GET" : ToUtf8(WideView(verb));
    if (request.method.find_first_of(" \t\r\n") != std::string::npos) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    std::string object = objectName == nullptr || *objectName == u'\0'
                             ? std::string("/")
                             : ToUtf8(WideView(objectName));
    object = object.substr(0, object.find('#'));  // a fragment never goes on the wire
    if (object.empty() || (object.front() != '/' && object.front() != '*')) {
        object = "/" + object;
    }
    request.secure = (flags & WINHTTP_FLAG_SECURE) != 0;
    const bool found = WithHandle<Connection>(connection, [&](Connection& c) {
        const INTERNET_PORT port =
            c.port != INTERNET_DEFAULT_PORT
                ? c.port
                : (request.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
        const bool ipv6 = c.host.find(':') != std::string::npos;
        request.url = std::string(request.secure ? "https://" : "http://") +
                      (ipv6 ? "[" + c.host + "]" : c.host) + ":" + std::to_string(port) +
                      EscapeRequestTarget(object);
        request.proxy = ProxyFor(c.session.proxyList, request.secure);
        request.timeouts = c.session.timeouts;
        return true;
    });
    if (!found) {
        return nullptr;
    }
    if (referrer != nullptr && *referrer != u'\0') {
        request.headers.push_back({"Referer", "Referer: " + ToUtf8(WideView(referrer))});
    }
    if (acceptTypes != nullptr && *acceptTypes != nullptr) {
        std::string accept = "Accept: ";
        for (auto type = acceptTypes; *type != nullptr; ++type) {
            accept += (type == acceptTypes ? "" : ", ") + ToUtf8(WideView(*type));
        }
        request.headers.push_back({"Accept", accept});
    }
    return Table().Add(std::move(request));
}

bool WinHttpSetTimeouts(HINTERNET handle, int resolveMs, int connectMs, int sendMs, int receiveMs) {
    if (!ValidTimeout(resolveMs) || !ValidTimeout(connectMs) || !ValidTimeout(sendMs) ||
        !ValidTimeout(receiveMs)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const Timeouts timeouts{TimeoutValue(resolveMs), TimeoutValue(connectMs), TimeoutValue(sendMs),
                            TimeoutValue(receiveMs)};
    const auto target = Table().Find(handle);
    if (!target) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    std::lock_guard lock(target->mutex);
    if (auto* session = std::get_if<Session>(&target->data)) {
        session->timeouts = timeouts;
    } else if (auto* request = std::get_if<Request>(&target->data)) {
        request->timeouts = timeouts;
    } else {
        return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
    }
    return true;
}

bool WinHttpSetCredentials(HINTERNET request, WinHttpDword target, WinHttpDword scheme,
                           const char16_t* user, const char16_t* password, void*) {
    if (scheme != WINHTTP_AUTH_SCHEME_BASIC || user == nullptr ||
        (target != WINHTTP_AUTH_TARGET_SERVER && target != WINHTTP_AUTH_TARGET_PROXY)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    return WithHandle<Request>(request, [&](Request& r) {
        if (target == WINHTTP_AUTH_TARGET_SERVER) {
            r.serverCredentials = true;
            r.user = ToUtf8(WideView(user));
            r.password = ToUtf8(WideView(password));
        } else {
            r.proxyCredentials = true;
            r.proxyUser = ToUtf8(WideView(user));
            r.proxyPassword = ToUtf8(WideView(password));
        }
        return true;
    });
}

bool WinHttpSetOption(HINTERNET handle, WinHttpDword option, const void* buffer,
                      WinHttpDword bufferLength) {
    if (buffer == nullptr || bufferLength != sizeof(WinHttpDword)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    WinHttpDword value = 0;
    std::memcpy(&value, buffer, sizeof value);
    return WithHandle<Request>(handle, [&](Request& r) {
        if (option == WINHTTP_OPTION_DISABLE_FEATURE) {
            // Only the features this stand-in can switch off are accepted.
            constexpr WinHttpDword known = WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_REDIRECTS;
            if (value == 0 || (value & ~known) != 0) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
            r.cookiesDisabled = r.cookiesDisabled || (value & WINHTTP_DISABLE_COOKIES) != 0;
            r.redirectsDisabled = r.redirectsDisabled || (value & WINHTTP_DISABLE_REDIRECTS) != 0;
            return true;
        }
        if (option == WINHTTP_OPTION_ENABLE_FEATURE) {
            // Revocation checking is accepted; libcurl's OpenSSL back end checks
            // revocation only through OCSP stapling, which it asks for by itself.
            return value == WINHTTP_ENABLE_SSL_REVOCATION || Fail(ERROR_INVALID_PARAMETER);
        }
        return Fail(ERROR_WINHTTP_INVALID_OPTION);
    });
}

bool WinHttpAddRequestHeaders(HINTERNET request, const char16_t* headers, WinHttpDword length,
                              WinHttpDword modifiers) {
    if (headers == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::u16string_view wide =
        length == ~WinHttpDword{0} ? WideView(headers) : std::u16string_view(headers, length);
    const std::string text = Utf16ToGbk(wide);
    return WithHandle<Request>(request, [&](Request& r) { return AddHeaders(r, text, modifiers); });
}

bool WinHttpSendRequest(HINTERNET request, const char16_t* headers, WinHttpDword headersLength,
                        const void* optional, WinHttpDword optionalLength, WinHttpDword totalLength,
                        std::uintptr_t) {
    // Bodies are sent whole; writing more of it later is not supported.
    if (totalLength != optionalLength || (optional == nullptr && optionalLength != 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    return WithHandle<Request>(request, [&](Request& r) {
        if (headers != nullptr && headersLength != 0) {
            const std::u16string_view wide = headersLength == ~WinHttpDword{0}
                                                 ? WideView(headers)
                                                 : std::u16string_view(headers, headersLength);
            if (!AddHeaders(r, Utf16ToGbk(wide), WINHTTP_ADDREQ_FLAG_ADD)) {
                return false;
            }
        }
        TransferRequest transfer;
        transfer.method = r.method;
        transfer.url = r.url;
        for (const auto& header : r.headers) {
            transfer.headerLines.push_back(header.line);
        }
        if (optionalLength != 0) {
            const auto* bytes = static_cast<const std::uint8_t*>(optional);
            transfer.body.assign(bytes, bytes + optionalLength);
        }
        transfer.hasBody = optionalLength != 0;
        transfer.proxy = r.proxy;
        transfer.proxyCredentials = r.proxyCredentials && !r.proxy.empty();
        transfer.proxyUser = r.proxyUser;
        transfer.proxyPassword = r.proxyPassword;
        transfer.serverCredentials = r.serverCredentials;
        transfer.user = r.user;
        transfer.password = r.password;
        transfer.resolveTimeoutMs = r.timeouts.resolveMs;
        transfer.connectTimeoutMs = r.timeouts.connectMs;
        transfer.sendTimeoutMs = r.timeouts.sendMs;
        transfer.receiveTimeoutMs = r.timeouts.receiveMs;
        transfer.followRedirects = !r.redirectsDisabled;
        transfer.cookieEngine = !r.cookiesDisabled;

        r.response = PerformTransfer(transfer);
        r.readPosition = 0;
        r.received = false;
        r.sent = r.response.outcome != TransferOutcome::NotSent;
        return r.sent || Fail(ERROR_WINHTTP_CANNOT_CONNECT);
    });
}

bool WinHttpReceiveResponse(HINTERNET request, void*) {
    return WithHandle<Request>(request, [&](Request& r) {
        if (!r.sent) {
            return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
        }
        r.received = r.response.outcome != TransferOutcome::NoResponse;
        return r.received || Fail(ERROR_WINHTTP_INVALID_SERVER_RESPONSE);
    });
}

bool WinHttpQueryDataAvailable(HINTERNET request, WinHttpDword* available) {
    return WithHandle<Request>(request, [&](Request& r) {
        if (!r.received) {
            return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
        }
        constexpr std::size_t kChunk = 64 * 1024;
        const std::size_t remaining = r.response.body.size() - r.readPosition;
        WinHttpDword count = static_cast<WinHttpDword>(std::min(remaining, kChunk));
        // After the last byte of a cut body, one more byte is announced, so that
        // reading it reports the broken connection.
        if (remaining == 0 && r.response.outcome == TransferOutcome::BodyCut) {
            count = 1;
        }
        if (available != nullptr) {
            *available = count;
        }
        return true;
    });
}

bool WinHttpReadData(HINTERNET request, void* buffer, WinHttpDword toRead, WinHttpDword* read) {
    if (buffer == nullptr && toRead != 0) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    return WithHandle<Request>(request, [&](Request& r) {
        if (!r.received) {
            return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
        }
        const std::size_t remaining = r.response.body.size() - r.readPosition;
        if (remaining == 0 && toRead != 0 && r.response.outcome == TransferOutcome::BodyCut) {
            return Fail(ERROR_WINHTTP_CONNECTION_ERROR);
        }
        const std::size_t count = std::min<std::size_t>(remaining, toRead);
        if (count != 0) {
            std::memcpy(buffer, r.response.body.data() + r.readPosition, count);
        }
        r.readPosition += count;
        if (read != nullptr) {
            *read = static_cast<WinHttpDword>(count);
        }
        return true;
    });
}

bool WinHttpQueryHeaders(HINTERNET request, WinHttpDword infoLevel, const char16_t*, void* buffer,
                         WinHttpDword* bufferLength, WinHttpDword* index) {
    if (bufferLength == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (infoLevel != WINHTTP_QUERY_RAW_HEADERS_CRLF) {
        return Fail(ERROR_WINHTTP_HEADER_NOT_FOUND);
    }
    if (index != nullptr && *index != 0) {
        return Fail(ERROR_WINHTTP_HEADER_NOT_FOUND);
    }
    return WithHandle<Request>(request, [&](Request& r) {
        if (!r.received) {
            return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
        }
        const std::u16string wide = GbkToUtf16(RawHeaders(r.response));
        const std::size_t needed = (wide.size() + 1) * sizeof(char16_t);
        if (buffer == nullptr || *bufferLength < needed) {
            *bufferLength = static_cast<WinHttpDword>(needed);
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        }
        std::memcpy(buffer, wide.c_str(), needed);
        *bufferLength = static_cast<WinHttpDword>(needed - sizeof(char16_t));
        if (index != nullptr) {
            *index = 1;
        }
        return true;
    });
}

bool WinHttpCloseHandle(HINTERNET handle) {
    if (handle == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    return Table().Remove(handle) || Fail(ERROR_INVALID_HANDLE);
}

WinHttpDword WinHttpLastError() {
    return lastError;
}

}  // namespace melvara::platform
