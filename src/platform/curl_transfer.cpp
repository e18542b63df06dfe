#include "platform/curl_transfer.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <string_view>

#include "platform/codepage.h"
#include "platform/curl_handles.h"

namespace melvara::platform {

namespace {

using Clock = std::chrono::steady_clock;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

bool NamesHeader(const std::vector<std::string>& lines, std::string_view nameWithColon) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return StartsWithNoCase(line, nameWithColon);
    });
}

// "Name:" alone would tell libcurl to drop the header; "Name;" sends it empty.
std::string WireForm(const std::string& line) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) {
        return line;
    }
    const bool emptyValue = line.find_first_not_of(' ', colon + 1) == std::string::npos;
    return emptyValue ? line.substr(0, colon) + ";" : line;
}

// Appends one line to a header list; false when libcurl could not (out of memory).
bool AppendHeader(CurlSlist& list, const char* line) {
    curl_slist* grown = curl_slist_append(list.get(), line);
    if (grown == nullptr) {
        return false;
    }
    static_cast<void>(list.release());
    list.reset(grown);
    return true;
}

bool IsRedirect(long code) {
    return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

long StatusOf(std::string_view statusLine) {
    const auto space = statusLine.find(' ');
    if (space == std::string_view::npos) {
        return 0;
    }
    long code = 0;
    for (std::size_t i = space + 1; i < statusLine.size() && i < space + 4; ++i) {
        const char c = statusLine[i];
        if (c < '0' || c > '9') {
            return 0;
        }
        code = code * 10 + (c - '0');
    }
    return code;
}

// What the callbacks see of one exchange.
struct Exchange {
    const TransferRequest& request;
    CURL* easy = nullptr;
    TransferResult result;
    bool headEnded = false;     // the blank line after the current head arrived
    bool headComplete = false;  // ... and it is the head of a final (not followed) response
    bool hasLocation = false;
    bool started = false;  // the request began to go out
    curl_off_t lastDown = 0;
    curl_off_t lastUp = 0;
    Clock::time_point lastActivity = Clock::now();

    explicit Exchange(const TransferRequest& r) : request(r) {}

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
        auto* exchange = static_cast<Exchange*>(self);
        const std::size_t total = size * count;
        std::string_view line(data, total);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.remove_suffix(1);
        }
        exchange->Header(line);
        return total;
    }

    void Header(std::string_view line) {
        if (StartsWithNoCase(line, "HTTP/")) {
            // A new response: the head and body of an earlier one (a redirect or an
            // interim 1xx) are not what the caller reads.
            result.statusLine.assign(line);
            result.headerLines.clear();
            result.body.clear();
            headEnded = false;
            headComplete = false;
            hasLocation = false;
            return;
        }
        if (line.empty()) {
            const long code = StatusOf(result.statusLine);
            const bool interim = code >= 100 && code < 200;
            const bool followed = request.followRedirects && IsRedirect(code) && hasLocation;
            headEnded = !result.statusLine.empty();
            headComplete = headEnded && !interim && !followed;
            return;
        }
        if (StartsWithNoCase(line, "Location:") && line.find_first_not_of(' ', 9) != line.npos) {
            hasLocation = true;
        }
        result.headerLines.emplace_back(line);
    }

    // Songs arrive in many small chunks: growing the buffer once to the announced
    // length avoids repeated reallocation and the doubled peak it brings. The
    // announcement comes from the server, so it is capped.
    void ReserveForAnnouncedLength() {
        constexpr curl_off_t kMaxReserve = curl_off_t{256} * 1024 * 1024;
        curl_off_t announced = -1;
        if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
            announced > 0) {
            result.body.reserve(static_cast<std::size_t>(std::min(announced, kMaxReserve)));
        }
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
        auto* exchange = static_cast<Exchange*>(self);
        const std::size_t total = size * count;
        auto& body = exchange->result.body;
        if (body.empty()) {
            exchange->ReserveForAnnouncedLength();
        }
        body.insert(body.end(), reinterpret_cast<std::uint8_t*>(data),
                    reinterpret_cast<std::uint8_t*>(data) + total);
        return total;
    }

    // Send and receive time-outs are limits on silence, as on the platform this
    // stands in for: libcurl only has a limit on the whole transfer.
    static int OnProgress(void* self, curl_off_t, curl_off_t downNow, curl_off_t upTotal,
                          curl_off_t upNow) {
        return static_cast<Exchange*>(self)->Progress(downNow, upTotal, upNow) ? 0 : 1;
    }

    bool Progress(curl_off_t downNow, curl_off_t upTotal, curl_off_t upNow) {
        const auto now = Clock::now();
        if (!started) {
            curl_off_t pretransfer = 0;
            curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
            if (pretransfer <= 0) {
                return true;  // still connecting: the connect time-out applies
            }
            started = true;
            lastActivity = now;
        }
        if (downNow != lastDown || upNow != lastUp) {
            lastDown = downNow;
            lastUp = upNow;
            lastActivity = now;
            return true;
        }
        const long limit =
            (upTotal > 0 && upNow < upTotal) ? request.sendTimeoutMs : request.receiveTimeoutMs;
        if (limit <= 0) {
            return true;
        }
        return now - lastActivity < std::chrono::milliseconds(limit);
    }
};

bool FailedBeforeSending(CURLcode code) {
    switch (code) {
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SEND_ERROR:
            return true;
        default:
            return false;
    }
}

TransferOutcome Classify(CURLcode code, const Exchange& exchange) {
    if (code == CURLE_OK) {
        // A head that broke off before its blank line is no response.
        return exchange.headEnded ? TransferOutcome::Complete : TransferOutcome::NoResponse;
    }
    const bool timedOut = code == CURLE_OPERATION_TIMEDOUT || code == CURLE_ABORTED_BY_CALLBACK;
    if (exchange.result.statusLine.empty()) {
        return FailedBeforeSending(code) || (timedOut && !exchange.started)
                   ? TransferOutcome::NotSent
                   : TransferOutcome::NoResponse;
    }
    if (!exchange.headComplete || FailedBeforeSending(code)) {
        return TransferOutcome::NoResponse;  // a redirect's target failed, or the head was cut
    }
    return TransferOutcome::BodyCut;
}

}  // namespace

std::string EscapeRequestTarget(std::string_view target) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : target) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::string WireUrl(std::string_view gbkUrl) {
    std::string url = GbkToUtf8(gbkUrl);
    url = url.substr(0, url.find('#'));
    const auto scheme = url.find("://");
    const auto targetStart =
        scheme == std::string::npos ? std::string::npos : url.find_first_of("/?", scheme + 3);
    if (targetStart == std::string::npos) {
        return url;
    }
    return url.substr(0, targetStart) + EscapeRequestTarget(url.substr(targetStart));
}

TransferResult PerformTransfer(const TransferRequest& request) {
    CurlEasy easy = NewSharedEasy();
    if (!easy) {
        return {};
    }
    CURL* h = easy.get();
    Exchange exchange(request);
    exchange.easy = h;

    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Exchange::OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &exchange);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Exchange::OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &exchange);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Exchange::OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &exchange);

    // Method and body.
    if (request.method == "HEAD") {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    } else if (request.hasBody || request.method == "POST" || request.method == "PUT") {
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(
            h, CURLOPT_POSTFIELDS,
            request.body.empty() ? "" : reinterpret_cast<const char*>(request.body.data()));
        if (request.method != "POST") {
            curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        }
    } else if (request.method != "GET") {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }

    // Headers exactly as given; libcurl adds only Host, Content-Length and the
    // credentials it was asked to send.
    CurlSlist headers;
    bool headersOk = true;
    for (const auto& line : request.headerLines) {
        headersOk = headersOk && AppendHeader(headers, WireForm(line).c_str());
    }
    for (const char* own : {"Accept:", "Expect:", "Content-Type:"}) {
        if (!NamesHeader(request.headerLines, own)) {
            headersOk = headersOk && AppendHeader(headers, own);
        }
    }
    if (!headersOk) {
        return {};
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());

    // Redirects, as the platform does them: at most 10, never from https down to http.
    const bool secure = StartsWithNoCase(request.url, "https:");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");

    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, request.verifyPeer ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, request.verifyHost ? 2L : 0L);

    if (request.cookieEngine) {
        curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");  // in memory, this handle only
    }
    if (request.serverCredentials) {
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(h, CURLOPT_USERNAME, request.user.c_str());
        curl_easy_setopt(h, CURLOPT_PASSWORD, request.password.c_str());
    }
    if (!request.proxy.empty()) {
        curl_easy_setopt(h, CURLOPT_PROXY, request.proxy.c_str());
        curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        // A tunnel opened with one caller's proxy credentials must not carry the
        // next caller's request.
        curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
        if (request.proxyCredentials) {
            curl_easy_setopt(h, CURLOPT_PROXYAUTH, CURLAUTH_BASIC);
            curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, request.proxyUser.c_str());
            curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, request.proxyPassword.c_str());
        }
    }

    long connectMs = 0;
    if (request.connectTimeoutMs > 0) {
        connectMs = request.connectTimeoutMs + std::max(request.resolveTimeoutMs, 0L);
    }
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, connectMs);

    const CURLcode code = curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &exchange.result.status);
    if (exchange.result.status == 0) {
        exchange.result.status = StatusOf(exchange.result.statusLine);
    }
    exchange.result.outcome = Classify(code, exchange);
    return std::move(exchange.result);
}

}  // namespace melvara::platform
