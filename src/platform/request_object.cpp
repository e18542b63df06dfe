#include "platform/request_object.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <utility>

#include "platform/curl_global.h"
#include "platform/curl_transfer.h"

namespace melvara::platform {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

class CurlRequestObject final : public RequestObject {
  public:
    bool SetTimeouts(long resolveMs, long connectMs, long sendMs, long receiveMs) override {
        resolveMs_ = resolveMs;
        connectMs_ = connectMs;
        sendMs_ = sendMs;
        receiveMs_ = receiveMs;
        return true;
    }

    bool SetProxy(int setting, const std::string& server) override {
        if (setting == kProxySettingProxy) {
            if (server.empty()) {
                return false;
            }
            proxy_ = server;
        } else {
            proxy_.clear();
        }
        return true;
    }

    bool Open(const std::string& method, const std::string& url, bool async) override {
        opened_ = false;
        headers_.clear();
        serverCredentials_ = proxyCredentials_ = false;
        response_ = {};
        // Only synchronous requests are supported, and only a real method name.
        if (async || method.empty() || url.empty() ||
            method.find_first_of(" \r\n") != std::string::npos) {
            return false;
        }
        method_ = method;
        url_ = url;
        opened_ = true;
        return true;
    }

    bool SetCredentials(const std::string& user, const std::string& password, int flags) override {
        if (!opened_) {
            return false;
        }
        if (flags == kCredentialsForProxy) {
            proxyCredentials_ = true;
            proxyUser_ = user;
            proxyPassword_ = password;
        } else if (flags == kCredentialsForServer) {
            serverCredentials_ = true;
            user_ = user;
            password_ = password;
        } else {
            return false;
        }
        return true;
    }

    bool SetOption(int index, long value) override {
        switch (index) {
            case kOptionSslErrorIgnoreFlags:
                sslIgnoreFlags_ = value;
                return true;
            case kOptionEnableRedirects:
                followRedirects_ = value != 0;
                return true;
            default:
                return false;
        }
    }

    bool SetRequestHeader(const std::string& name, const std::string& value) override {
        if (!opened_ || name.empty() || name.find_first_of(":\r\n") != std::string::npos ||
            value.find_first_of("\r\n") != std::string::npos) {
            return false;
        }
        // A header set twice goes on the wire twice, in the order set.
        headers_.emplace_back(name, value);
        return true;
    }

    bool Send(const std::vector<std::uint8_t>& body) override { return Perform(body); }

    bool Send(const std::string& body) override {
        return Perform(std::vector<std::uint8_t>(body.begin(), body.end()));
    }

    // Bodies are whole songs: hand the body over instead of copying it. The
    // fetch reads it once per request.
    std::vector<std::uint8_t> ResponseBody() override { return std::move(response_.body); }

    std::string GetAllResponseHeaders() override {
        std::string text;
        for (const auto& line : response_.headerLines) {
            text += line;
            text += "\r\n";
        }
        return text;
    }

    long Status() override { return response_.status; }

  private:
    bool Perform(std::vector<std::uint8_t> body) {
        response_ = {};
        if (!opened_) {
            return false;
        }
        TransferRequest request;
        request.method = method_;
        request.url = WireUrl(url_);
        for (const auto& [name, value] : headers_) {
            request.headerLines.push_back(name + ": " + value);
        }
        request.hasBody = !body.empty();
        request.body = std::move(body);
        request.proxy = proxy_;
        request.proxyCredentials = proxyCredentials_ && !proxy_.empty();
        request.proxyUser = proxyUser_;
        request.proxyPassword = proxyPassword_;
        request.serverCredentials = serverCredentials_;
        request.user = user_;
        request.password = password_;
        request.resolveTimeoutMs = resolveMs_;
        request.connectTimeoutMs = connectMs_;
        request.sendTimeoutMs = sendMs_;
        request.receiveTimeoutMs = receiveMs_;
        request.followRedirects = followRedirects_;
        request.verifyPeer = (sslIgnoreFlags_ &
                              (kIgnoreUnknownCa | kIgnoreWrongUsage | kIgnoreCertDateInvalid)) == 0;
        request.verifyHost = (sslIgnoreFlags_ & kIgnoreCertCnInvalid) == 0;

        TransferResult result = PerformTransfer(request);
        // A response that did not arrive whole is no response: a cut download must
        // not look like a complete one.
        if (result.outcome != TransferOutcome::Complete) {
            return false;
        }
        response_ = std::move(result);
        return true;
    }

    // Settings that stay across Open calls.
    long resolveMs_ = 0;
    long connectMs_ = 60000;
    long sendMs_ = 30000;
    long receiveMs_ = 30000;
    std::string proxy_;
    long sslIgnoreFlags_ = 0;
    bool followRedirects_ = true;

    // The opened request.
    bool opened_ = false;
    std::string method_;
    std::string url_;
    std::vector<std::pair<std::string, std::string>> headers_;
    bool serverCredentials_ = false;
    std::string user_;
    std::string password_;
    bool proxyCredentials_ = false;
    std::string proxyUser_;
    std::string proxyPassword_;

    TransferResult response_;
};

std::mutex factoryMutex;
RequestObjectFactory& Factory() {
    static RequestObjectFactory factory;
    return factory;
}

}  // namespace

std::unique_ptr<RequestObject> NewCurlRequestObject() {
    if (!EnsureCurlGlobal()) {
        return nullptr;
    }
    return std::make_unique<CurlRequestObject>();
}

std::unique_ptr<RequestObject> CreateRequestObject(std::string_view name) {
    RequestObjectFactory factory;
    {
        std::lock_guard lock(factoryMutex);
        factory = Factory();
    }
    if (factory) {
        return factory(name);
    }
    return EqualNoCase(name, kRequestObjectName) ? NewCurlRequestObject() : nullptr;
}

RequestObjectFactory SetRequestObjectFactory(RequestObjectFactory factory) {
    std::lock_guard lock(factoryMutex);
    return std::exchange(Factory(), std::move(factory));
}

}  // namespace melvara::platform
