#include "loopback_server.h"

#include <stdexcept>

namespace melvara::test {

LoopbackServer::LoopbackServer() : server_(std::make_unique<httplib::Server>()) {}

LoopbackServer::LoopbackServer(const tools::CertificateFiles& tls)
    : server_(std::make_unique<httplib::SSLServer>(tls.serverCertificate.c_str(),
                                                   tls.serverKey.c_str())),
      secure_(true) {
    if (!server_->is_valid()) {
        throw std::runtime_error("TLS server could not load its certificate");
    }
}

LoopbackServer::~LoopbackServer() {
    server_->stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void LoopbackServer::Start() {
    server_->set_keep_alive_max_count(100000);
    // Head and body go out in separate writes; without this, Nagle's algorithm
    // meets the client's delayed ACK and every kept-alive exchange waits 40 ms.
    server_->set_tcp_nodelay(true);
    // An idle kept-alive connection holds a server thread, and stopping waits for it.
    server_->set_keep_alive_timeout(1);
    server_->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
        std::lock_guard lock(mutex_);
        requests_.push_back(
            {request.method, request.target, request.headers, request.body, request.remote_port});
        return httplib::Server::HandlerResponse::Unhandled;
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        throw std::runtime_error("bind");
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
}

std::string LoopbackServer::Url(const std::string& path, const std::string& host) const {
    return std::string(secure_ ? "https://" : "http://") + host + ":" + std::to_string(port_) +
           path;
}

std::vector<RecordedRequest> LoopbackServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

}  // namespace melvara::test
