#pragma once

// Certificates for the loopback TLS servers, generated once per test process
// into a temporary directory that is removed at exit.

#include "local_ca/local_ca.h"

namespace melvara::test {

// Signed by the test CA, which TrustTestCa() makes the clients trust.
const tools::CertificateFiles& TestCertificates();
// Signed by a second CA that nobody trusts.
const tools::CertificateFiles& UntrustedCertificates();
// Points CURL_CA_BUNDLE at the test CA.
void TrustTestCa();

}  // namespace melvara::test
