#pragma once

#include "demo_site/catalogue.h"
#include "local_ca/local_ca.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace melvara::tools {

struct DemoSiteOptions {
    std::vector<Song> catalogue = DefaultCatalogue();
    std::string bindAddress = "127.0.0.1";
    int port = 0;  // 0: any free port
    // Where ca.pem, server.pem and server-key.pem live; reused when still usable, created
    // otherwise. Empty: a fresh CA is made in memory (CaFile() is then empty).
    std::filesystem::path certificateDir;
    std::string siteHost = "music.localhost";     // host of the pages, port appended
    std::string mp3Host = "mp3.music.localhost";  // host the download pages link to
    PageEncoding playlistEncoding = PageEncoding::Utf8;
    std::string extraPlaylistHtml;   // put into the playlist's song list unchanged
    std::size_t serverThreads = 32;  // connections served at once
};

// Requests seen so far, by the kind of address asked for.
struct RequestCounts {
    std::size_t home = 0;
    std::size_t playlist = 0;
    std::size_t downloadPages = 0;
    std::size_t mp3s = 0;
    std::size_t other = 0;
};

class DemoSiteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The music site over HTTPS on a loopback port:
//   /                      front page
//   /laoge/500shou.htm     the playlist
//   /down/ID.htm           one download page per song, UTF-8 or GBK
//   /mp3/ID.mp3            the song (and /mp3/alt/ID.mp3 for a second link)
// Pages and MP3s are served on every host name the certificate carries; the host only
// matters for the links the pages hold. Stop() (or destruction) ends it; slow responses
// still under way are cut short.
class DemoSite {
  public:
    explicit DemoSite(DemoSiteOptions options = {});
    ~DemoSite();
    DemoSite(const DemoSite&) = delete;
    DemoSite& operator=(const DemoSite&) = delete;

    // Binds and starts serving. Throws DemoSiteError (bad catalogue, port in use,
    // certificates) or LocalCaError. At most once per object.
    void Start();
    // Idempotent; returns once no request is being served any more.
    void Stop();

    int Port() const;
    std::string SiteHost() const;     // "music.localhost:PORT": the program's site host
    std::string PlaylistUrl() const;  // https://music.localhost:PORT/laoge/500shou.htm
    std::string DownloadPageUrl(const std::string& songId) const;
    std::string Mp3Url(const std::string& songId, bool alternative = false) const;
    std::filesystem::path CaFile() const;
    const std::vector<Song>& Catalogue() const;

    RequestCounts Counts() const;
    std::size_t RequestsFor(const std::string& path) const;

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace melvara::tools
