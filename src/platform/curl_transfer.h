#pragma once

// One HTTP exchange on a libcurl easy handle, shared by the request object and
// the WinHttp functions: headers go on the wire exactly as given, the whole
// body is collected, and the outcome says how far the exchange got.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace melvara::platform {

struct TransferRequest {
    std::string method = "GET";
    std::string url;
    // "Name: value" lines, sent in this order. libcurl's own Accept, Expect and
    // Content-Type lines are left out unless a line names them.
    std::vector<std::string> headerLines;
    std::vector<std::uint8_t> body;
    bool hasBody = false;

    std::string proxy;  // "host[:port]"; empty: direct
    bool proxyCredentials = false;
    std::string proxyUser;
    std::string proxyPassword;
    bool serverCredentials = false;  // Basic, sent with the first request
    std::string user;
    std::string password;

    // Milliseconds; 0 or less: no limit.
    long resolveTimeoutMs = 0;
    long connectTimeoutMs = 60000;
    long sendTimeoutMs = 30000;
    long receiveTimeoutMs = 30000;

    bool followRedirects = true;
    bool verifyPeer = true;
    bool verifyHost = true;
    // Cookies set by responses are sent again within this exchange's redirects.
    bool cookieEngine = false;
};

enum class TransferOutcome {
    Complete,    // the last response arrived whole
    NotSent,     // no connection, TLS refused, or the request could not be sent
    NoResponse,  // sent, but no complete response head came back
    BodyCut,     // the response head arrived, the body ended early
};

struct TransferResult {
    TransferOutcome outcome = TransferOutcome::NotSent;
    std::string statusLine;                // "HTTP/1.1 200 OK", of the last response
    std::vector<std::string> headerLines;  // of the last response, without CR LF
    std::vector<std::uint8_t> body;        // what arrived of the last response's body
    long status = 0;
};

TransferResult PerformTransfer(const TransferRequest& request);

// Percent-escapes the bytes that may not stand in a request target as they are
// (controls, space, and every byte of a UTF-8 sequence).
std::string EscapeRequestTarget(std::string_view target);

// An address typed in code page 936 as libcurl takes it: UTF-8, with the part
// after the host escaped and any fragment dropped.
std::string WireUrl(std::string_view gbkUrl);

}  // namespace melvara::platform
