#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace melvara::tools {

// A throw-away certificate authority for loopback TLS: one CA and one server certificate
// it signed, for the local names the tests and the demo site use. Nothing here is meant
// to protect anything; it only lets clients verify a server the way they would for real.

// Names every server certificate carries; callers may add more.
const std::vector<std::string>& DefaultServerNames();

struct CertificateOptions {
    // Extra subjectAltName entries: an IPv4/IPv6 address becomes an IP entry, anything
    // else a DNS name (a leading "*." is a wildcard).
    std::vector<std::string> extraNames;
    // Validity runs from one hour ago (clock skew between processes) to this many days on.
    int validDays = 30;
};

struct CertificatePems {
    std::string caCertificate;      // ca.pem
    std::string serverCertificate;  // server.pem
    std::string serverKey;          // server-key.pem (PKCS#8, unencrypted)
};

struct CertificateFiles {
    std::filesystem::path caCertificate;
    std::filesystem::path serverCertificate;
    std::filesystem::path serverKey;
};

// Failure to generate, write or read certificates.
class LocalCaError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Creates a fresh CA (EC P-256) and a server certificate signed by it.
// Throws LocalCaError on a bad name or an OpenSSL failure.
CertificatePems GenerateCertificates(const CertificateOptions& options = {});

// The three file paths inside dir: ca.pem, server.pem, server-key.pem.
CertificateFiles CertificateFilesIn(const std::filesystem::path& dir);

// Writes the three files into dir (created when missing). Each file is written to a
// temporary name and renamed into place, so a reader never sees a half-written file;
// the key is readable by the owner only. Throws LocalCaError on failure.
CertificateFiles WriteCertificates(const CertificatePems& pems, const std::filesystem::path& dir);

// Reads the three files from dir. Throws LocalCaError when one is missing or unreadable.
CertificatePems ReadCertificates(const std::filesystem::path& dir);

// True when dir holds a CA and a server certificate that it signed, with a matching key,
// valid now and for at least minDaysLeft more days, covering the default names and
// extraNames.
bool CertificatesUsable(const std::filesystem::path& dir,
                        const std::vector<std::string>& extraNames = {}, int minDaysLeft = 1);

// Reuses the certificates in dir when CertificatesUsable, otherwise generates and writes
// new ones.
CertificateFiles EnsureCertificates(const std::filesystem::path& dir,
                                    const CertificateOptions& options = {});

}  // namespace melvara::tools
