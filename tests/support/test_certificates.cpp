#include "test_certificates.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace melvara::test {

namespace {

class TempDir {
  public:
    explicit TempDir(const std::string& name)
        : path_(std::filesystem::temp_directory_path() /
                ("melvara-" + name + "-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

struct GeneratedCertificates {
    TempDir dir;
    tools::CertificateFiles files;
    explicit GeneratedCertificates(const std::string& name)
        : dir(name), files(tools::WriteCertificates(tools::GenerateCertificates(), dir.path())) {}
};

}  // namespace

const tools::CertificateFiles& TestCertificates() {
    static const GeneratedCertificates certificates("test-ca");
    return certificates.files;
}

const tools::CertificateFiles& UntrustedCertificates() {
    static const GeneratedCertificates certificates("untrusted-ca");
    return certificates.files;
}

void TrustTestCa() {
    ::setenv("CURL_CA_BUNDLE", TestCertificates().caCertificate.c_str(), 1);
}

}  // namespace melvara::test
