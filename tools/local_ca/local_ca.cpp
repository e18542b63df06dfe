#include "local_ca/local_ca.h"

#include "local_ca/openssl_handles.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <utility>

namespace melvara::tools {
namespace {

constexpr long kSecondsPerDay = 24L * 60 * 60;

[[noreturn]] void Fail(const std::string& what) {
    std::string message = "local CA: " + what;
    const unsigned long code = ERR_get_error();
    if (code != 0) {
        std::array<char, 256> buffer{};
        ERR_error_string_n(code, buffer.data(), buffer.size());
        message += " (";
        message += buffer.data();
        message += ")";
    }
    ERR_clear_error();
    throw LocalCaError(message);
}

void Check(int result, const char* what) {
    if (result <= 0) {
        Fail(what);
    }
}

PkeyPtr GenerateKey() {
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    if (!ctx) {
        Fail("no EC key context");
    }
    Check(EVP_PKEY_keygen_init(ctx.get()), "EVP_PKEY_keygen_init");
    Check(EVP_PKEY_CTX_set_group_name(ctx.get(), "P-256"), "EVP_PKEY_CTX_set_group_name");
    EVP_PKEY* raw = nullptr;
    Check(EVP_PKEY_generate(ctx.get(), &raw), "EVP_PKEY_generate");
    return PkeyPtr(raw);
}

// Random positive 127-bit serial: fresh certificates never repeat an issuer/serial pair.
void SetRandomSerial(X509* cert) {
    std::array<unsigned char, 16> bytes{};
    Check(RAND_bytes(bytes.data(), static_cast<int>(bytes.size())), "RAND_bytes");
    bytes[0] &= 0x7f;
    BignumPtr number(BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr));
    if (!number) {
        Fail("BN_bin2bn");
    }
    Asn1IntegerPtr serial(BN_to_ASN1_INTEGER(number.get(), nullptr));
    if (!serial) {
        Fail("BN_to_ASN1_INTEGER");
    }
    Check(X509_set_serialNumber(cert, serial.get()), "X509_set_serialNumber");
}

X509NamePtr MakeName(const std::string& commonName) {
    X509NamePtr name(X509_NAME_new());
    if (!name) {
        Fail("X509_NAME_new");
    }
    const auto add = [&](const char* field, const std::string& value) {
        Check(X509_NAME_add_entry_by_txt(name.get(), field, MBSTRING_UTF8,
                                         reinterpret_cast<const unsigned char*>(value.c_str()), -1,
                                         -1, 0),
              "X509_NAME_add_entry_by_txt");
    };
    add("O", "Melvara local test CA");
    add("CN", commonName);
    return name;
}

void AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX ctx{};
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509ExtensionPtr extension(X509V3_EXT_nconf_nid(nullptr, &ctx, nid, value.c_str()));
    if (!extension) {
        Fail("bad extension " + value);
    }
    Check(X509_add_ext(cert, extension.get(), -1), "X509_add_ext");
}

X509Ptr NewCertificate(EVP_PKEY* key, const X509_NAME* subject, const X509_NAME* issuer,
                       int validDays) {
    X509Ptr cert(X509_new());
    if (!cert) {
        Fail("X509_new");
    }
    Check(X509_set_version(cert.get(), X509_VERSION_3), "X509_set_version");
    SetRandomSerial(cert.get());
    if (X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) == nullptr ||
        X509_time_adj_ex(X509_getm_notAfter(cert.get()), validDays, 0, nullptr) == nullptr) {
        Fail("setting validity");
    }
    Check(X509_set_subject_name(cert.get(), subject), "X509_set_subject_name");
    Check(X509_set_issuer_name(cert.get(), issuer), "X509_set_issuer_name");
    Check(X509_set_pubkey(cert.get(), key), "X509_set_pubkey");
    return cert;
}

bool IsIpAddress(const std::string& name, std::array<unsigned char, 16>* bytes = nullptr,
                 std::size_t* length = nullptr) {
    std::array<unsigned char, 16> buffer{};
    std::size_t size = 0;
    if (inet_pton(AF_INET, name.c_str(), buffer.data()) == 1) {
        size = 4;
    } else if (inet_pton(AF_INET6, name.c_str(), buffer.data()) == 1) {
        size = 16;
    } else {
        return false;
    }
    if (bytes != nullptr) {
        *bytes = buffer;
    }
    if (length != nullptr) {
        *length = size;
    }
    return true;
}

// A DNS name for a subjectAltName: letters, digits, hyphens and dots, optionally behind
// one leading "*." wildcard label. Anything else (commas above all) could smuggle extra
// entries into the extension text, so it is refused.
bool IsDnsName(const std::string& name) {
    std::string rest = name;
    if (rest.rfind("*.", 0) == 0) {
        rest.erase(0, 2);
    }
    if (rest.empty() || rest.size() > 253 || rest.front() == '.' || rest.back() == '.') {
        return false;
    }
    return std::all_of(rest.begin(), rest.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return std::isalnum(u) != 0 || c == '-' || c == '.';
    });
}

std::vector<std::string> AllNames(const std::vector<std::string>& extraNames) {
    std::vector<std::string> names = DefaultServerNames();
    for (const std::string& name : extraNames) {
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
    }
    return names;
}

std::string SubjectAltNameValue(const std::vector<std::string>& names) {
    std::string value;
    for (const std::string& name : names) {
        std::string entry;
        if (IsIpAddress(name)) {
            entry = "IP:" + name;
        } else if (IsDnsName(name)) {
            entry = "DNS:" + name;
        } else {
            throw LocalCaError("local CA: not a host name or IP address: \"" + name + "\"");
        }
        value += value.empty() ? entry : "," + entry;
    }
    return value;
}

std::string BioText(BIO* bio) {
    const std::size_t size = BIO_ctrl_pending(bio);
    std::string text(size, '\0');
    if (size > 0 && BIO_read(bio, text.data(), static_cast<int>(size)) != static_cast<int>(size)) {
        Fail("BIO_read");
    }
    return text;
}

std::string CertificatePem(X509* cert) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio) {
        Fail("BIO_new");
    }
    Check(PEM_write_bio_X509(bio.get(), cert), "PEM_write_bio_X509");
    return BioText(bio.get());
}

std::string PrivateKeyPem(EVP_PKEY* key) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio) {
        Fail("BIO_new");
    }
    Check(PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr),
          "PEM_write_bio_PrivateKey");
    return BioText(bio.get());
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

void WriteFileAtomically(const std::filesystem::path& path, const std::string& content,
                         mode_t mode) {
    const std::filesystem::path temporary = path.string() + ".tmp-" + std::to_string(::getpid());
    FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    if (fd.get() < 0) {
        throw LocalCaError("local CA: cannot create " + temporary.string() + ": " +
                           std::strerror(errno));
    }
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd.get(), content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int error = errno;
            ::unlink(temporary.c_str());
            throw LocalCaError("local CA: cannot write " + temporary.string() + ": " +
                               std::strerror(error));
        }
        written += static_cast<std::size_t>(n);
    }
    if (::close(fd.release()) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        throw LocalCaError("local CA: cannot finish " + path.string() + ": " +
                           std::strerror(error));
    }
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw LocalCaError("local CA: cannot read " + path.string());
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        throw LocalCaError("local CA: cannot read " + path.string());
    }
    return content.str();
}

bool HasAltName(const GENERAL_NAMES* altNames, const std::string& name) {
    std::array<unsigned char, 16> ip{};
    std::size_t ipLength = 0;
    const bool isIp = IsIpAddress(name, &ip, &ipLength);
    const int count = OPENSSL_sk_num(reinterpret_cast<const OPENSSL_STACK*>(altNames));
    for (int i = 0; i < count; ++i) {
        const auto* entry = static_cast<const GENERAL_NAME*>(
            OPENSSL_sk_value(reinterpret_cast<const OPENSSL_STACK*>(altNames), i));
        if (isIp && entry->type == GEN_IPADD) {
            const ASN1_OCTET_STRING* value = entry->d.iPAddress;
            if (static_cast<std::size_t>(ASN1_STRING_length(value)) == ipLength &&
                std::memcmp(ASN1_STRING_get0_data(value), ip.data(), ipLength) == 0) {
                return true;
            }
        } else if (!isIp && entry->type == GEN_DNS) {
            const ASN1_IA5STRING* value = entry->d.dNSName;
            const std::string dns(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)),
                                  static_cast<std::size_t>(ASN1_STRING_length(value)));
            if (dns.size() == name.size() &&
                std::equal(dns.begin(), dns.end(), name.begin(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) ==
                           std::tolower(static_cast<unsigned char>(b));
                })) {
                return true;
            }
        }
    }
    return false;
}

struct AltNamesDeleter {
    void operator()(GENERAL_NAMES* names) const noexcept { GENERAL_NAMES_free(names); }
};

bool ValidFor(const X509* cert, std::time_t until) {
    return X509_cmp_time(X509_get0_notAfter(cert), &until) > 0;
}

}  // namespace

const std::vector<std::string>& DefaultServerNames() {
    static const std::vector<std::string> names = {
        "localhost",         "*.localhost",         "music.localhost",
        "*.music.localhost", "mp3.music.localhost", "127.0.0.1",
    };
    return names;
}

X509Ptr LoadCertificatePem(const std::string& pem) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) {
        return nullptr;
    }
    X509Ptr cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    ERR_clear_error();
    return cert;
}

PkeyPtr LoadPrivateKeyPem(const std::string& pem) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) {
        return nullptr;
    }
    PkeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    ERR_clear_error();
    return key;
}

CertificatePems GenerateCertificates(const CertificateOptions& options) {
    if (options.validDays < 1) {
        throw LocalCaError("local CA: validity must be at least one day");
    }
    const std::string altNames = SubjectAltNameValue(AllNames(options.extraNames));

    PkeyPtr caKey = GenerateKey();
    X509NamePtr caName = MakeName("Melvara local test CA");
    X509Ptr ca = NewCertificate(caKey.get(), caName.get(), caName.get(), options.validDays);
    AddExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE,pathlen:0");
    AddExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
    AddExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash");
    Check(X509_sign(ca.get(), caKey.get(), EVP_sha256()), "X509_sign (CA)");

    PkeyPtr serverKey = GenerateKey();
    X509NamePtr serverName = MakeName("localhost");
    X509Ptr server =
        NewCertificate(serverKey.get(), serverName.get(), caName.get(), options.validDays);
    AddExtension(server.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE");
    AddExtension(server.get(), ca.get(), NID_key_usage, "critical,digitalSignature");
    AddExtension(server.get(), ca.get(), NID_ext_key_usage, "serverAuth");
    AddExtension(server.get(), ca.get(), NID_subject_key_identifier, "hash");
    AddExtension(server.get(), ca.get(), NID_authority_key_identifier, "keyid:always");
    AddExtension(server.get(), ca.get(), NID_subject_alt_name, altNames);
    Check(X509_sign(server.get(), caKey.get(), EVP_sha256()), "X509_sign (server)");

    return CertificatePems{CertificatePem(ca.get()), CertificatePem(server.get()),
                           PrivateKeyPem(serverKey.get())};
}

CertificateFiles CertificateFilesIn(const std::filesystem::path& dir) {
    return CertificateFiles{dir / "ca.pem", dir / "server.pem", dir / "server-key.pem"};
}

CertificateFiles WriteCertificates(const CertificatePems& pems, const std::filesystem::path& dir) {
    std::error_code error;
    const bool created = std::filesystem::create_directories(dir, error);
    if (error) {
        throw LocalCaError("local CA: cannot create " + dir.string() + ": " + error.message());
    }
    if (created) {
        // A directory of our own making holds a private key: keep others out of it.
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all, error);
    }
    const CertificateFiles files = CertificateFilesIn(dir);
    WriteFileAtomically(files.serverKey, pems.serverKey, 0600);
    WriteFileAtomically(files.serverCertificate, pems.serverCertificate, 0644);
    WriteFileAtomically(files.caCertificate, pems.caCertificate, 0644);
    return files;
}

CertificatePems ReadCertificates(const std::filesystem::path& dir) {
    const CertificateFiles files = CertificateFilesIn(dir);
    return CertificatePems{ReadFile(files.caCertificate), ReadFile(files.serverCertificate),
                           ReadFile(files.serverKey)};
}

bool CertificatesUsable(const std::filesystem::path& dir,
                        const std::vector<std::string>& extraNames, int minDaysLeft) {
    CertificatePems pems;
    try {
        pems = ReadCertificates(dir);
    } catch (const LocalCaError&) {
        return false;
    }
    const X509Ptr ca = LoadCertificatePem(pems.caCertificate);
    const X509Ptr server = LoadCertificatePem(pems.serverCertificate);
    const PkeyPtr key = LoadPrivateKeyPem(pems.serverKey);
    if (!ca || !server || !key || X509_check_private_key(server.get(), key.get()) != 1) {
        ERR_clear_error();
        return false;
    }

    // Chain, signatures, CA flags and the validity period as of now.
    X509StorePtr store(X509_STORE_new());
    X509StoreCtxPtr ctx(X509_STORE_CTX_new());
    const bool verified = store && ctx && X509_STORE_add_cert(store.get(), ca.get()) == 1 &&
                          X509_STORE_CTX_init(ctx.get(), store.get(), server.get(), nullptr) == 1 &&
                          X509_verify_cert(ctx.get()) == 1;
    ERR_clear_error();
    if (!verified) {
        return false;
    }

    const std::time_t until = std::time(nullptr) + minDaysLeft * kSecondsPerDay;
    if (!ValidFor(ca.get(), until) || !ValidFor(server.get(), until)) {
        return false;
    }

    const std::unique_ptr<GENERAL_NAMES, AltNamesDeleter> altNames(static_cast<GENERAL_NAMES*>(
        X509_get_ext_d2i(server.get(), NID_subject_alt_name, nullptr, nullptr)));
    if (!altNames) {
        return false;
    }
    const std::vector<std::string> names = AllNames(extraNames);
    return std::all_of(names.begin(), names.end(),
                       [&](const std::string& name) { return HasAltName(altNames.get(), name); });
}

CertificateFiles EnsureCertificates(const std::filesystem::path& dir,
                                    const CertificateOptions& options) {
    if (CertificatesUsable(dir, options.extraNames)) {
        return CertificateFilesIn(dir);
    }
    return WriteCertificates(GenerateCertificates(options), dir);
}

}  // namespace melvara::tools
