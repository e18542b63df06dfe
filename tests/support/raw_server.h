#pragma once

// A loopback server on 127.0.0.1 (port 0) that replays canned bytes and records
// the exact bytes of every request, for byte-exact header checks and for
// responses no well-behaved server would give: cut bodies, silence, drops.

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace melvara::test {

struct CannedReply {
    enum class Then {
        Close,     // close the connection after the bytes
        KeepOpen,  // wait for the next request on the same connection
        Stall,     // say nothing more until Release(), the client leaves, or the server stops
    };
    std::string bytes;  // sent as soon as the request has arrived whole
    Then then = Then::Close;
};

class RawServer {
  public:
    // Request n gets reply n; the last reply answers every later request.
    explicit RawServer(std::vector<CannedReply> replies);
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string Url(const std::string& path = "/") const;

    // The requests so far, each exactly as it arrived (head and body).
    std::vector<std::string> Requests() const;
    // Ends every stalled connection.
    void Release();

  private:
    void Run();
    void Wake();

    std::vector<CannedReply> replies_;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    int port_ = 0;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    bool stop_ = false;
    bool release_ = false;
    std::thread thread_;
};

// A loopback port on which nothing listens (connections are refused).
int UnusedPort();

// A loopback port whose accept queue is full and never drained: a new
// connection neither completes nor is refused, so connecting times out.
class FullBacklogPort {
  public:
    FullBacklogPort();
    ~FullBacklogPort();
    FullBacklogPort(const FullBacklogPort&) = delete;
    FullBacklogPort& operator=(const FullBacklogPort&) = delete;

    int Port() const { return port_; }

  private:
    int listenFd_ = -1;
    std::vector<int> fillers_;
    int port_ = 0;
};

// The header lines of a recorded request (after the request line, before the
// blank line), without "Host" and "Content-Length" lines.
std::vector<std::string> HeaderLinesOf(const std::string& request);
// The request line ("GET / HTTP/1.1").
std::string RequestLineOf(const std::string& request);
// The value of the first header of that name (letter case disregarded), or "".
std::string HeaderValueOf(const std::string& request, const std::string& name);
// What follows the blank line.
std::string BodyOf(const std::string& request);

// "HTTP/1.1 200 OK" reply with the given extra header lines (each ended by
// CR LF) and body, and a Content-Length.
std::string Reply(const std::string& status, const std::string& headerLines,
                  const std::string& body);

}  // namespace melvara::test
