#pragma once

// Stand-in for the synchronous WinHttp API, with the functions, constants and
// record the WinHttp fetch uses. Texts are wide text: zero-terminated UTF-16
// (char16_t). Handles are opaque; a null handle marks a failure, and closing a
// null or unknown handle is harmless. Behind the handles libcurl keeps a
// process-wide cache of connections, TLS sessions and DNS answers, so
// sequential requests to one host reuse a connection; cookies, credentials and
// headers never outlive their request.

#include <cstdint>

namespace melvara::platform {

using HINTERNET = void*;
using INTERNET_PORT = std::uint16_t;
using WinHttpDword = std::uint32_t;

inline constexpr INTERNET_PORT INTERNET_DEFAULT_PORT = 0;
inline constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
inline constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;

inline constexpr int INTERNET_SCHEME_HTTP = 1;
inline constexpr int INTERNET_SCHEME_HTTPS = 2;

inline constexpr WinHttpDword WINHTTP_ACCESS_TYPE_DEFAULT_PROXY = 0;
inline constexpr WinHttpDword WINHTTP_ACCESS_TYPE_NO_PROXY = 1;
inline constexpr WinHttpDword WINHTTP_ACCESS_TYPE_NAMED_PROXY = 3;
inline constexpr WinHttpDword WINHTTP_FLAG_ASYNC = 0x10000000;

inline constexpr WinHttpDword WINHTTP_FLAG_SECURE = 0x00800000;

inline constexpr WinHttpDword WINHTTP_AUTH_TARGET_SERVER = 0;
inline constexpr WinHttpDword WINHTTP_AUTH_TARGET_PROXY = 1;
inline constexpr WinHttpDword WINHTTP_AUTH_SCHEME_BASIC = 1;

inline constexpr WinHttpDword WINHTTP_OPTION_DISABLE_FEATURE = 63;
inline constexpr WinHttpDword WINHTTP_OPTION_ENABLE_FEATURE = 79;
inline constexpr WinHttpDword WINHTTP_DISABLE_COOKIES = 0x00000001;
inline constexpr WinHttpDword WINHTTP_DISABLE_REDIRECTS = 0x00000002;
inline constexpr WinHttpDword WINHTTP_DISABLE_AUTHENTICATION = 0x00000004;
inline constexpr WinHttpDword WINHTTP_DISABLE_KEEP_ALIVE = 0x00000008;
inline constexpr WinHttpDword WINHTTP_ENABLE_SSL_REVOCATION = 0x00000001;

inline constexpr WinHttpDword WINHTTP_ADDREQ_FLAG_ADD_IF_NEW = 0x10000000;
inline constexpr WinHttpDword WINHTTP_ADDREQ_FLAG_ADD = 0x20000000;
inline constexpr WinHttpDword WINHTTP_ADDREQ_FLAG_REPLACE = 0x80000000;

inline constexpr WinHttpDword WINHTTP_QUERY_RAW_HEADERS_CRLF = 22;

// Errors, as WinHttpLastError() reports them.
inline constexpr WinHttpDword ERROR_INVALID_HANDLE = 6;
inline constexpr WinHttpDword ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr WinHttpDword ERROR_INVALID_PARAMETER = 87;
inline constexpr WinHttpDword ERROR_WINHTTP_TIMEOUT = 12002;
inline constexpr WinHttpDword ERROR_WINHTTP_INVALID_OPTION = 12009;
inline constexpr WinHttpDword ERROR_WINHTTP_INVALID_URL = 12005;
inline constexpr WinHttpDword ERROR_WINHTTP_UNRECOGNIZED_SCHEME = 12006;
inline constexpr WinHttpDword ERROR_WINHTTP_CANNOT_CONNECT = 12029;
inline constexpr WinHttpDword ERROR_WINHTTP_CONNECTION_ERROR = 12030;
inline constexpr WinHttpDword ERROR_WINHTTP_INCORRECT_HANDLE_STATE = 12019;
inline constexpr WinHttpDword ERROR_WINHTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr WinHttpDword ERROR_WINHTTP_HEADER_NOT_FOUND = 12150;

// WinHttpCrackUrl's record. A length of ~0u on input asks for that part as a
// pointer into the given text; 0 means the part is not wanted.
struct URL_COMPONENTS {
    WinHttpDword dwStructSize = 0;
    char16_t* lpszScheme = nullptr;
    WinHttpDword dwSchemeLength = 0;
    int nScheme = 0;
    char16_t* lpszHostName = nullptr;
    WinHttpDword dwHostNameLength = 0;
    INTERNET_PORT nPort = 0;
    char16_t* lpszUserName = nullptr;
    WinHttpDword dwUserNameLength = 0;
    char16_t* lpszPassword = nullptr;
    WinHttpDword dwPasswordLength = 0;
    char16_t* lpszUrlPath = nullptr;
    WinHttpDword dwUrlPathLength = 0;
    char16_t* lpszExtraInfo = nullptr;
    WinHttpDword dwExtraInfoLength = 0;
};

bool WinHttpCheckPlatform();

// Only absolute http and https URLs crack. urlLength 0: the text ends with its zero unit.
bool WinHttpCrackUrl(const char16_t* url, WinHttpDword urlLength, WinHttpDword flags,
                     URL_COMPONENTS* components);

// Synchronous sessions only: WINHTTP_FLAG_ASYNC gives null. proxyName is a
// list of "[scheme=]host[:port]" entries separated by ';' or spaces.
HINTERNET WinHttpOpen(const char16_t* userAgent, WinHttpDword accessType, const char16_t* proxyName,
                      const char16_t* proxyBypass, WinHttpDword flags);
HINTERNET WinHttpConnect(HINTERNET session, const char16_t* serverName, INTERNET_PORT port,
                         WinHttpDword reserved);
HINTERNET WinHttpOpenRequest(HINTERNET connection, const char16_t* verb, const char16_t* objectName,
                             const char16_t* version, const char16_t* referrer,
                             const char16_t* const* acceptTypes, WinHttpDword flags);

// Milliseconds; 0 or -1: no limit. On a session, the defaults of its later requests.
bool WinHttpSetTimeouts(HINTERNET handle, int resolveMs, int connectMs, int sendMs, int receiveMs);
// Basic only.
bool WinHttpSetCredentials(HINTERNET request, WinHttpDword target, WinHttpDword scheme,
                           const char16_t* user, const char16_t* password, void* params);
// WINHTTP_OPTION_DISABLE_FEATURE and WINHTTP_OPTION_ENABLE_FEATURE, a 32-bit value.
bool WinHttpSetOption(HINTERNET handle, WinHttpDword option, const void* buffer,
                      WinHttpDword bufferLength);
// "Name: value" lines separated by CR LF; length in code units, ~0u: up to the zero unit.
bool WinHttpAddRequestHeaders(HINTERNET request, const char16_t* headers, WinHttpDword length,
                              WinHttpDword modifiers);
// Sends the request and waits for the whole exchange. False when it could not
// be sent (no connection, TLS refused, time-out before the request went out).
bool WinHttpSendRequest(HINTERNET request, const char16_t* headers, WinHttpDword headersLength,
                        const void* optional, WinHttpDword optionalLength, WinHttpDword totalLength,
                        std::uintptr_t context);
// False when no response head arrived.
bool WinHttpReceiveResponse(HINTERNET request, void* reserved);
bool WinHttpQueryDataAvailable(HINTERNET request, WinHttpDword* available);
// After the bytes that did arrive, a body cut short makes the read fail.
bool WinHttpReadData(HINTERNET request, void* buffer, WinHttpDword toRead, WinHttpDword* read);
// WINHTTP_QUERY_RAW_HEADERS_CRLF only; bufferLength in bytes, zero unit included.
bool WinHttpQueryHeaders(HINTERNET request, WinHttpDword infoLevel, const char16_t* name,
                         void* buffer, WinHttpDword* bufferLength, WinHttpDword* index);
bool WinHttpCloseHandle(HINTERNET handle);

// The error of this thread's last failed call.
WinHttpDword WinHttpLastError();

}  // namespace melvara::platform
