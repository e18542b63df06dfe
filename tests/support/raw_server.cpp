#include "raw_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <stdexcept>
#include <utility>

namespace melvara::test {

namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

int ListenOnLoopback(int* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error("socket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("bind/listen");
    }
    *port = ntohs(address.sin_port);
    return fd;
}

void SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;  // the client left; nothing more to do
        }
        sent += static_cast<std::size_t>(n);
    }
}

// Length of the first whole request in buffer, or 0 while it is incomplete.
std::size_t WholeRequestLength(const std::string& buffer) {
    const auto headEnd = buffer.find("\r\n\r\n");
    if (headEnd == std::string::npos) {
        return 0;
    }
    const std::string head = buffer.substr(0, headEnd + 4);
    std::size_t bodyLength = 0;
    const std::string length = HeaderValueOf(head, "Content-Length");
    if (!length.empty()) {
        bodyLength = std::stoul(length);
    }
    const std::size_t total = headEnd + 4 + bodyLength;
    return buffer.size() >= total ? total : 0;
}

struct Connection {
    int fd;
    std::string buffer;
    bool stalled = false;
};

}  // namespace

RawServer::RawServer(std::vector<CannedReply> replies) : replies_(std::move(replies)) {
    listenFd_ = ListenOnLoopback(&port_);
    if (::pipe2(wakeFds_, O_CLOEXEC) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("pipe");
    }
    thread_ = std::thread([this] { Run(); });
}

RawServer::~RawServer() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    Wake();
    thread_.join();
    ::close(listenFd_);
    ::close(wakeFds_[0]);
    ::close(wakeFds_[1]);
}

std::string RawServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> RawServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void RawServer::Release() {
    {
        std::lock_guard lock(mutex_);
        release_ = true;
    }
    Wake();
}

void RawServer::Wake() {
    const char byte = 1;
    static_cast<void>(::write(wakeFds_[1], &byte, 1));
}

void RawServer::Run() {
    std::vector<Connection> connections;
    for (;;) {
        std::vector<pollfd> fds{{wakeFds_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
        for (const auto& c : connections) {
            fds.push_back({c.fd, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            continue;
        }
        bool released = false;
        if ((fds[0].revents & POLLIN) != 0) {
            char drain[64];
            static_cast<void>(::read(wakeFds_[0], drain, sizeof drain));
            std::lock_guard lock(mutex_);
            if (stop_) {
                break;
            }
            released = std::exchange(release_, false);
        }
        const std::size_t polled = connections.size();  // a new connection waits a round
        if ((fds[1].revents & POLLIN) != 0) {
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                connections.push_back({fd, {}});
            }
        }
        for (std::size_t i = 0; i < polled; ++i) {
            Connection& c = connections[i];
            const short events = fds[2 + i].revents;
            if (c.stalled && !released && (events & (POLLHUP | POLLERR)) == 0) {
                if ((events & POLLIN) != 0) {
                    char scratch[4096];
                    if (::recv(c.fd, scratch, sizeof scratch, 0) <= 0) {
                        ::close(c.fd);
                        c.fd = -1;  // the client gave up
                    }
                }
                continue;
            }
            if (c.stalled) {
                ::close(c.fd);
                c.fd = -1;
                continue;
            }
            if ((events & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            char data[16384];
            const ssize_t n = ::recv(c.fd, data, sizeof data, 0);
            if (n <= 0) {
                ::close(c.fd);
                c.fd = -1;
                continue;
            }
            c.buffer.append(data, static_cast<std::size_t>(n));
            while (c.fd >= 0 && !c.stalled) {
                const std::size_t length = WholeRequestLength(c.buffer);
                if (length == 0) {
                    break;
                }
                CannedReply reply;
                {
                    std::lock_guard lock(mutex_);
                    requests_.push_back(c.buffer.substr(0, length));
                    reply = replies_.empty()
                                ? CannedReply{}
                                : replies_[std::min(requests_.size(), replies_.size()) - 1];
                }
                c.buffer.erase(0, length);
                SendAll(c.fd, reply.bytes);
                if (reply.then == CannedReply::Then::Close) {
                    ::shutdown(c.fd, SHUT_WR);
                    ::close(c.fd);
                    c.fd = -1;
                } else if (reply.then == CannedReply::Then::Stall) {
                    c.stalled = true;
                }
            }
        }
        std::erase_if(connections, [](const Connection& c) { return c.fd < 0; });
    }
    for (const auto& c : connections) {
        ::close(c.fd);
    }
}

int UnusedPort() {
    int port = 0;
    const int fd = ListenOnLoopback(&port);
    ::close(fd);
    return port;
}

FullBacklogPort::FullBacklogPort() {
    listenFd_ = ListenOnLoopback(&port_);
    ::listen(listenFd_, 0);
    // Fill the accept queue; the connections that fit complete at once.
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port_));
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers_.push_back(fd);
    }
}

FullBacklogPort::~FullBacklogPort() {
    for (const int fd : fillers_) {
        ::close(fd);
    }
    ::close(listenFd_);
}

namespace {

std::vector<std::string> AllHeaderLines(const std::string& request) {
    std::vector<std::string> lines;
    const auto headEnd = request.find("\r\n\r\n");
    std::size_t start = request.find("\r\n");
    if (start == std::string::npos || headEnd == std::string::npos) {
        return lines;
    }
    start += 2;
    while (start < headEnd + 2) {
        const auto end = request.find("\r\n", start);
        lines.push_back(request.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string NameOf(const std::string& line) {
    return line.substr(0, line.find(':'));
}

}  // namespace

std::vector<std::string> HeaderLinesOf(const std::string& request) {
    std::vector<std::string> lines;
    for (auto& line : AllHeaderLines(request)) {
        const std::string name = NameOf(line);
        if (!EqualNoCase(name, "Host") && !EqualNoCase(name, "Content-Length")) {
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

std::string RequestLineOf(const std::string& request) {
    return request.substr(0, request.find("\r\n"));
}

std::string HeaderValueOf(const std::string& request, const std::string& name) {
    for (const auto& line : AllHeaderLines(request)) {
        if (EqualNoCase(NameOf(line), name)) {
            const auto value = line.find_first_not_of(' ', name.size() + 1);
            return value == std::string::npos ? std::string() : line.substr(value);
        }
    }
    return {};
}

std::string BodyOf(const std::string& request) {
    const auto headEnd = request.find("\r\n\r\n");
    return headEnd == std::string::npos ? std::string() : request.substr(headEnd + 4);
}

std::string Reply(const std::string& status, const std::string& headerLines,
                  const std::string& body) {
    return "HTTP/1.1 " + status + "\r\n" + headerLines +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace melvara::test
