#include "local_ca/local_ca.h"
#include "local_ca/openssl_handles.h"

#include "curl_fetch.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace melvara::tools {
namespace {

using testing::CurlGet;
using testing::TempDir;

// An HTTPS server on 127.0.0.1, port 0, answering "ok" on "/", stopped on destruction.
class TlsServer {
  public:
    explicit TlsServer(const CertificateFiles& files)
        : server_(files.serverCertificate.c_str(), files.serverKey.c_str()) {
        server_.Get("/", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("ok", "text/plain");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] {
            server_.listen_after_bind();
            finished_ = true;
        });
        // stop() only takes effect once the accept loop runs.
        while (!server_.is_running() && !finished_) {
            std::this_thread::yield();
        }
    }
    ~TlsServer() {
        server_.stop();
        thread_.join();
    }
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;
    int port() const { return port_; }
    bool valid() const { return server_.is_valid() && port_ > 0; }

  private:
    httplib::SSLServer server_;
    int port_ = -1;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

TEST(LocalCa, ClientsTrustingTheCaReachTheServerUnderEveryLocalName) {
    TempDir dir;
    const CertificateFiles files = WriteCertificates(GenerateCertificates(), dir.path());
    TlsServer server(files);
    ASSERT_TRUE(server.valid());
    const std::string port = std::to_string(server.port());

    for (const char* host : {"127.0.0.1", "localhost", "music.localhost", "mp3.music.localhost",
                             "cdn.music.localhost"}) {
        SCOPED_TRACE(host);
        const auto result =
            CurlGet(std::string("https://") + host + ":" + port + "/", files.caCertificate);
        EXPECT_EQ(result.code, CURLE_OK) << curl_easy_strerror(result.code);
        EXPECT_EQ(result.body, "ok");
    }

    // cpp-httplib's own client, connecting to the loopback address under the site's name.
    httplib::SSLClient client("music.localhost", server.port());
    client.set_hostname_addr_map({{"music.localhost", "127.0.0.1"}});
    client.set_ca_cert_path(files.caCertificate.string());
    client.enable_server_certificate_verification(true);
    const auto response = client.Get("/");
    ASSERT_TRUE(response) << httplib::to_string(response.error());
    EXPECT_EQ(response->body, "ok");
}

TEST(LocalCa, ClientsNotTrustingTheCaOrAskingForAnotherNameAreRefused) {
    TempDir dir;
    TempDir otherDir;
    const CertificateFiles files = WriteCertificates(GenerateCertificates(), dir.path());
    const CertificateFiles other = WriteCertificates(GenerateCertificates(), otherDir.path());
    TlsServer server(files);
    ASSERT_TRUE(server.valid());
    const std::string port = std::to_string(server.port());

    // Another CA of the same kind and name must not do.
    EXPECT_EQ(CurlGet("https://music.localhost:" + port + "/", other.caCertificate).code,
              CURLE_PEER_FAILED_VERIFICATION);
    // Nor may a name outside the certificate pass (curl resolves it to loopback too).
    EXPECT_EQ(CurlGet("https://video.localhost:" + port + "/", files.caCertificate).code,
              CURLE_PEER_FAILED_VERIFICATION);

    httplib::SSLClient client("127.0.0.1", server.port());
    client.enable_server_certificate_verification(true);
    client.set_ca_cert_path(other.caCertificate.string());
    const auto response = client.Get("/");
    EXPECT_FALSE(response);
}

TEST(LocalCa, ExtraNamesAreAddedAndBadOnesRefused) {
    CertificateOptions options;
    options.extraNames = {"site.test", "::1"};
    const CertificatePems pems = GenerateCertificates(options);
    const X509Ptr server = LoadCertificatePem(pems.serverCertificate);
    ASSERT_TRUE(server);
    EXPECT_EQ(X509_check_host(server.get(), "site.test", 0, 0, nullptr), 1);
    EXPECT_EQ(X509_check_ip_asc(server.get(), "::1", 0), 1);
    EXPECT_EQ(X509_check_host(server.get(), "other.test", 0, 0, nullptr), 0);

    for (const char* bad : {"", "a,DNS:evil.test", "has space", "*.", "bad/name"}) {
        SCOPED_TRACE(bad);
        CertificateOptions badOptions;
        badOptions.extraNames = {bad};
        EXPECT_THROW(GenerateCertificates(badOptions), LocalCaError);
    }
    CertificateOptions noDays;
    noDays.validDays = 0;
    EXPECT_THROW(GenerateCertificates(noDays), LocalCaError);
}

TEST(LocalCa, EnsureReusesGoodFilesAndReplacesUnusableOnes) {
    TempDir dir;
    EXPECT_FALSE(CertificatesUsable(dir.path()));
    const CertificateFiles files = EnsureCertificates(dir.path());
    ASSERT_TRUE(CertificatesUsable(dir.path()));
    const CertificatePems first = ReadCertificates(dir.path());
    EXPECT_EQ(
        std::filesystem::status(files.serverKey).permissions() & std::filesystem::perms::group_read,
        std::filesystem::perms::none);

    EnsureCertificates(dir.path());
    EXPECT_EQ(ReadCertificates(dir.path()).caCertificate, first.caCertificate);

    // A name the files lack, a key that does not fit, a truncated CA: all regenerate.
    CertificateOptions withExtra;
    withExtra.extraNames = {"extra.localhost"};
    EXPECT_FALSE(CertificatesUsable(dir.path(), withExtra.extraNames));
    EnsureCertificates(dir.path(), withExtra);
    EXPECT_TRUE(CertificatesUsable(dir.path(), withExtra.extraNames));
    EXPECT_NE(ReadCertificates(dir.path()).caCertificate, first.caCertificate);

    std::ofstream(files.serverKey, std::ios::trunc) << GenerateCertificates().serverKey;
    EXPECT_FALSE(CertificatesUsable(dir.path()));
    EnsureCertificates(dir.path());
    EXPECT_TRUE(CertificatesUsable(dir.path()));

    const std::string ca = ReadCertificates(dir.path()).caCertificate;
    std::ofstream(files.caCertificate, std::ios::trunc) << ca.substr(0, ca.size() / 2);
    EXPECT_FALSE(CertificatesUsable(dir.path()));

    // Validity shorter than what is asked for counts as unusable.
    CertificateOptions shortLived;
    shortLived.validDays = 2;
    WriteCertificates(GenerateCertificates(shortLived), dir.path());
    EXPECT_TRUE(CertificatesUsable(dir.path(), {}, 1));
    EXPECT_FALSE(CertificatesUsable(dir.path(), {}, 3));
}

}  // namespace
}  // namespace melvara::tools
