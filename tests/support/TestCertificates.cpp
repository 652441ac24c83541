#include "TestCertificates.h"

#include "TestSupport.h"

#include <stdexcept>

namespace mgtest {

namespace {

const char* const RequestConfig = R"([req]
distinguished_name = dn
x509_extensions = v3_ca
prompt = no
[dn]
CN = Marrowglen Test CA
[v3_ca]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
)";

const char* const ServerExtensions = R"(basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1,DNS:localhost
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
)";

void openssl(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), "openssl");
    CommandResult result = runCommand(args, dir.path());
    if (result.exitCode != 0)
        throw std::runtime_error("openssl " + args.at(1) + " failed: " + result.output);
}

TestCertificates makeCertificates(const TempDir& dir) {
    writeFile(dir.file("req.cnf"), RequestConfig);
    writeFile(dir.file("server.ext"), ServerExtensions);
    // EC keys: made in milliseconds, unlike RSA.
    openssl(dir, {"ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", "ca.key"});
    openssl(dir, {"req", "-config", "req.cnf", "-x509", "-new", "-key", "ca.key", "-days", "3",
                  "-out", "ca.pem"});
    openssl(dir, {"ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", "server.key"});
    openssl(dir, {"req", "-config", "req.cnf", "-new", "-key", "server.key", "-subj",
                  "/CN=127.0.0.1", "-out", "server.csr"});
    openssl(dir, {"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                  "-CAcreateserial", "-days", "3", "-extfile", "server.ext", "-out", "server.pem"});
    return {dir.file("ca.pem"), dir.file("server.pem"), dir.file("server.key")};
}

} // namespace

const TestCertificates& testCertificates() {
    static TempDir dir("mgtest-certs");
    static TestCertificates certificates = makeCertificates(dir);
    return certificates;
}

} // namespace mgtest
