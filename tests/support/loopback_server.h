#pragma once

// A cpp-httplib server on 127.0.0.1, port 0, plain HTTP or HTTPS, that records
// every request it routes. Add handlers through server() before Start().

#include <httplib.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "local_ca/local_ca.h"

namespace melvara::test {

struct RecordedRequest {
    std::string method;
    std::string target;  // path and query as sent
    httplib::Headers headers;
    std::string body;
    int remotePort = 0;  // tells connections apart
};

class LoopbackServer {
  public:
    // Plain HTTP.
    LoopbackServer();
    // HTTPS with the given server certificate and key.
    explicit LoopbackServer(const tools::CertificateFiles& tls);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    httplib::Server& server() { return *server_; }
    void Start();

    int Port() const { return port_; }
    // "<scheme>://<host>:<port>" followed by path; host defaults to 127.0.0.1.
    std::string Url(const std::string& path = "/", const std::string& host = "127.0.0.1") const;
    std::vector<RecordedRequest> Requests() const;

  private:
    std::unique_ptr<httplib::Server> server_;
    bool secure_ = false;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::vector<RecordedRequest> requests_;
    std::thread thread_;
};

}  // namespace melvara::test
