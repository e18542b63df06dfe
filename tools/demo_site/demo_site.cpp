#include "demo_site/demo_site.h"

#include "demo_site/mp3_body.h"
#include "demo_site/site_pages.h"
#include "local_ca/openssl_handles.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace melvara::tools {
namespace {

constexpr std::size_t kChunkSize = 64 * 1024;
// Enough to look at what arrived; a benchmark run would otherwise grow this without end.

enum class PathKind { Home, Playlist, DownloadPage, Mp3, Other };

PathKind KindOf(const std::string& path) {
    if (path == "/" || path == "/index.htm") {
        return PathKind::Home;
    }
    if (path == kPlaylistPath) {
        return PathKind::Playlist;
    }
    if (path.rfind("/down/", 0) == 0) {
        return PathKind::DownloadPage;
    }
    if (path.rfind("/mp3/", 0) == 0) {
        return PathKind::Mp3;
    }
    return PathKind::Other;
}

// "/prefix" + ID + ".suffix" → ID, or "" when path has another shape.
std::string IdBetween(const std::string& path, const std::string& prefix,
                      const std::string& suffix) {
    if (path.size() <= prefix.size() + suffix.size() || path.rfind(prefix, 0) != 0 ||
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return {};
    }
    return path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
}

void NotFound(httplib::Response& response) {
    response.status = 404;
    response.set_content(
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>404</title></head>"
        "<body><p>页面不存在</p></body></html>\n",
        "text/html; charset=utf-8");
}

}  // namespace

class DemoSite::Impl {
  public:
    explicit Impl(DemoSiteOptions options) : options_(std::move(options)) {
        for (std::size_t i = 0; i < options_.catalogue.size(); ++i) {
            byId_.emplace(options_.catalogue[i].id, i);
        }
    }

    ~Impl() { Stop(); }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void Start();
    void Stop();

    const DemoSiteOptions& options() const { return options_; }
    int port() const { return port_; }
    const std::filesystem::path& caFile() const { return caFile_; }

    RequestCounts Counts() const {
        const std::lock_guard lock(recordMutex_);
        return counts_;
    }
    std::size_t RequestsFor(const std::string& path) const {
        const std::lock_guard lock(recordMutex_);
        const auto found = perPath_.find(path);
        return found == perPath_.end() ? 0 : found->second;
    }

    std::string Origin(const std::string& host) const {
        return "https://" + host + ":" + std::to_string(port_);
    }

  private:
    void Record(const httplib::Request& request);
    void Serve(const httplib::Request& request, httplib::Response& response);
    void ServeDownloadPage(const std::string& path, httplib::Response& response);
    void ServeMp3(const std::string& path, httplib::Response& response);
    // Waits for delay; false when the site is being stopped meanwhile.
    bool Pause(std::chrono::milliseconds delay);

    DemoSiteOptions options_;
    std::map<std::string, std::size_t> byId_;
    std::filesystem::path caFile_;
    std::unique_ptr<httplib::SSLServer> server_;
    std::thread thread_;
    std::atomic<bool> listenEnded_{false};
    int port_ = -1;
    bool started_ = false;

    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    std::atomic<bool> stopping_{false};

    mutable std::mutex recordMutex_;
    RequestCounts counts_;
    std::map<std::string, std::size_t> perPath_;
};

void DemoSite::Impl::Start() {
    if (started_) {
        throw DemoSiteError("demo site: already started");
    }
    started_ = true;
    if (const std::string problem = CatalogueProblem(options_.catalogue); !problem.empty()) {
        throw DemoSiteError("demo site: " + problem);
    }

    CertificatePems pems;
    if (options_.certificateDir.empty()) {
        pems = GenerateCertificates();
    } else {
        caFile_ = EnsureCertificates(options_.certificateDir).caCertificate;
        pems = ReadCertificates(options_.certificateDir);
    }
    const X509Ptr certificate = LoadCertificatePem(pems.serverCertificate);
    const PkeyPtr key = LoadPrivateKeyPem(pems.serverKey);
    if (!certificate || !key) {
        throw DemoSiteError("demo site: unreadable server certificate or key");
    }
    // The server takes its own references to both.
    server_ = std::make_unique<httplib::SSLServer>(certificate.get(), key.get());
    if (!server_->is_valid()) {
        throw DemoSiteError("demo site: TLS set-up failed");
    }

    const std::size_t threads = std::max<std::size_t>(options_.serverThreads, 1);
    // httplib owns the queue it is handed and deletes it when listening ends.
    server_->new_task_queue = [threads] {
        return std::make_unique<httplib::ThreadPool>(threads).release();
    };
    // Idle keep-alive connections would hold Stop() up for the default five seconds.
    server_->set_keep_alive_timeout(1);
    // Small pages answer in one write; without this each waits for a delayed ACK.
    server_->set_tcp_nodelay(true);
    // httplib's default also sets SO_REUSEPORT, which would let a second site share the
    // port silently instead of failing to start.
    server_->set_socket_options([](int socket) {
        const int on = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    });
    server_->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
        Record(request);
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        Serve(request, response);
    });

    if (options_.port == 0) {
        port_ = server_->bind_to_any_port(options_.bindAddress);
    } else if (server_->bind_to_port(options_.bindAddress, options_.port)) {
        port_ = options_.port;
    }
    if (port_ <= 0) {
        throw DemoSiteError("demo site: cannot listen on " + options_.bindAddress + " port " +
                            std::to_string(options_.port));
    }
    thread_ = std::thread([this] {
        server_->listen_after_bind();
        listenEnded_ = true;
    });
    // stop() only reaches a server whose accept loop has begun.
    while (!server_->is_running() && !listenEnded_) {
        std::this_thread::yield();
    }
}

void DemoSite::Impl::Stop() {
    {
        const std::lock_guard lock(stopMutex_);
        stopping_ = true;
    }
    stopSignal_.notify_all();
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

bool DemoSite::Impl::Pause(std::chrono::milliseconds delay) {
    std::unique_lock lock(stopMutex_);
    if (delay.count() > 0) {
        stopSignal_.wait_for(lock, delay, [this] { return stopping_.load(); });
    }
    return !stopping_.load();
}

void DemoSite::Impl::Record(const httplib::Request& request) {
    const std::lock_guard lock(recordMutex_);
    switch (KindOf(request.path)) {
        case PathKind::Home:
            ++counts_.home;
            break;
        case PathKind::Playlist:
            ++counts_.playlist;
            break;
        case PathKind::DownloadPage:
            ++counts_.downloadPages;
            break;
        case PathKind::Mp3:
            ++counts_.mp3s;
            break;
        case PathKind::Other:
            ++counts_.other;
            break;
    }
    ++perPath_[request.path];
}

void DemoSite::Impl::Serve(const httplib::Request& request, httplib::Response& response) {
    switch (KindOf(request.path)) {
        case PathKind::Home:
            response.set_content(RenderHomePage(), HtmlContentType(PageEncoding::Utf8));
            return;
        case PathKind::Playlist:
            response.set_content(RenderPlaylistPage(options_.catalogue, options_.playlistEncoding,
                                                    options_.extraPlaylistHtml),
                                 HtmlContentType(options_.playlistEncoding));
            return;
        case PathKind::DownloadPage:
            ServeDownloadPage(request.path, response);
            return;
        case PathKind::Mp3:
            ServeMp3(request.path, response);
            return;
        case PathKind::Other:
            NotFound(response);
            return;
    }
}

void DemoSite::Impl::ServeDownloadPage(const std::string& path, httplib::Response& response) {
    const auto found = byId_.find(IdBetween(path, "/down/", ".htm"));
    if (found == byId_.end() || !options_.catalogue[found->second].downloadPageFound) {
        NotFound(response);
        return;
    }
    const Song& song = options_.catalogue[found->second];
    response.set_content(RenderDownloadPage(song, Origin(options_.mp3Host)),
                         HtmlContentType(song.pageEncoding));
}

void DemoSite::Impl::ServeMp3(const std::string& path, httplib::Response& response) {
    bool alternative = false;
    auto found = byId_.find(IdBetween(path, "/mp3/", ".mp3"));
    if (found == byId_.end()) {
        alternative = true;
        found = byId_.find(IdBetween(path, "/mp3/alt/", ".mp3"));
    }
    if (found == byId_.end()) {
        NotFound(response);
        return;
    }
    const Song& song = options_.catalogue[found->second];
    if (alternative && song.mp3Links < 2) {
        NotFound(response);
        return;
    }
    if (song.mp3 == Mp3Behaviour::NotFound) {
        NotFound(response);
        return;
    }
    if (!Pause(song.firstByteDelay)) {
        response.status = 503;
        return;
    }
    const std::size_t size = song.mp3Size;
    if (size == 0) {
        response.set_content(std::string(), "audio/mpeg");
        return;
    }
    const std::size_t end =
        song.mp3 == Mp3Behaviour::DropMidBody ? song.dropAfterBytes.value_or(size / 2) : size;
    response.set_content_provider(
        size, "audio/mpeg",
        [this, &song, alternative, end](std::size_t offset, std::size_t length,
                                        httplib::DataSink& sink) {
            // Returning false makes httplib close the connection: a truncated body.
            if (offset >= end) {
                return false;
            }
            if (!Pause(offset > 0 ? song.chunkDelay : std::chrono::milliseconds(0))) {
                return false;
            }
            const std::size_t count = std::min({length, kChunkSize, end - offset});
            std::string chunk(count, '\0');
            FillMp3Bytes(song, alternative, offset, chunk.data(), count);
            return sink.write(chunk.data(), chunk.size());
        });
}

DemoSite::DemoSite(DemoSiteOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

DemoSite::~DemoSite() = default;

void DemoSite::Start() {
    impl_->Start();
}

void DemoSite::Stop() {
    impl_->Stop();
}

int DemoSite::Port() const {
    return impl_->port();
}

std::string DemoSite::SiteHost() const {
    return impl_->options().siteHost + ":" + std::to_string(impl_->port());
}

std::string DemoSite::PlaylistUrl() const {
    return impl_->Origin(impl_->options().siteHost) + kPlaylistPath;
}

std::string DemoSite::DownloadPageUrl(const std::string& songId) const {
    return impl_->Origin(impl_->options().siteHost) + DownloadPagePath(songId);
}

std::string DemoSite::Mp3Url(const std::string& songId, bool alternative) const {
    return impl_->Origin(impl_->options().mp3Host) + Mp3Path(songId, alternative);
}

std::filesystem::path DemoSite::CaFile() const {
    return impl_->caFile();
}

const std::vector<Song>& DemoSite::Catalogue() const {
    return impl_->options().catalogue;
}

RequestCounts DemoSite::Counts() const {
    return impl_->Counts();
}

std::size_t DemoSite::RequestsFor(const std::string& path) const {
    return impl_->RequestsFor(path);
}

}  // namespace melvara::tools
