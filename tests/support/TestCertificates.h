// A private certificate authority and a server certificate for 127.0.0.1 and localhost,
// made once per test process with the openssl tool. Clients trust `caFile` explicitly
// (or through SSL_CERT_FILE); verification stays on.
#pragma once

#include <string>

namespace mgtest {

struct TestCertificates {
    std::string caFile;     // PEM, the authority to trust
    std::string serverCert; // PEM, signed by the authority
    std::string serverKey;  // PEM
};

// Throws std::runtime_error with openssl's output when the files cannot be made.
const TestCertificates& testCertificates();

} // namespace mgtest
