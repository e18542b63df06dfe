#pragma once

// Stand-in for the automation object "WinHttp.WinHttpRequest.5.1": the members
// the request-object fetch calls, in the object's own terms. Member failures
// are reported as false and otherwise leave the object as it was, so a caller
// that ignores them (as the fetch does) simply reads empty results.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace melvara::platform {

inline constexpr std::string_view kRequestObjectName = "WinHttp.WinHttpRequest.5.1";

// SetProxy setting: use the named proxy server.
inline constexpr int kProxySettingProxy = 2;
// SetCredentials flags: for the server, for the proxy.
inline constexpr int kCredentialsForServer = 0;
inline constexpr int kCredentialsForProxy = 1;
// Option indexes.
inline constexpr int kOptionSslErrorIgnoreFlags = 4;
inline constexpr int kOptionEnableRedirects = 6;
// SslErrorIgnoreFlags bits.
inline constexpr int kIgnoreUnknownCa = 0x0100;
inline constexpr int kIgnoreWrongUsage = 0x0200;
inline constexpr int kIgnoreCertCnInvalid = 0x1000;
inline constexpr int kIgnoreCertDateInvalid = 0x2000;

class RequestObject {
  public:
    RequestObject() = default;
    RequestObject(const RequestObject&) = delete;
    RequestObject& operator=(const RequestObject&) = delete;
    virtual ~RequestObject() = default;

    // Resolve, connect, send and receive time-outs in milliseconds; 0 or less: none.
    virtual bool SetTimeouts(long resolveMs, long connectMs, long sendMs, long receiveMs) = 0;
    virtual bool SetProxy(int setting, const std::string& server) = 0;
    // Starts a new request: the request headers and the last response are
    // dropped; time-outs, proxy, credentials and options stay.
    virtual bool Open(const std::string& method, const std::string& url, bool async) = 0;
    virtual bool SetCredentials(const std::string& user, const std::string& password,
                                int flags) = 0;
    // The "Option" property, written.
    virtual bool SetOption(int index, long value) = 0;
    // A header set twice goes on the wire twice, in the order set. Names and
    // values with line breaks are refused.
    virtual bool SetRequestHeader(const std::string& name, const std::string& value) = 0;
    // Sends the opened request and waits for the whole response.
    virtual bool Send(const std::vector<std::uint8_t>& body) = 0;
    // A text body goes on the wire as its bytes stand (code page 936).
    virtual bool Send(const std::string& body) = 0;

    virtual std::vector<std::uint8_t> ResponseBody() = 0;
    // The header lines of the last response, each ended by CR LF; "" before one.
    virtual std::string GetAllResponseHeaders() = 0;
    // The last status; 0 when no response arrived.
    virtual long Status() = 0;
};

// The request object on libcurl.
std::unique_ptr<RequestObject> NewCurlRequestObject();

// Creates an automation object by its name; null when the name is unknown or
// creation fails. Only kRequestObjectName is known.
std::unique_ptr<RequestObject> CreateRequestObject(std::string_view name);

// Tests replace how objects are made (to fail, or to record member calls). An
// empty factory restores the real one. Returns the factory that was in place.
using RequestObjectFactory = std::function<std::unique_ptr<RequestObject>(std::string_view)>;
RequestObjectFactory SetRequestObjectFactory(RequestObjectFactory factory);

}  // namespace melvara::platform
