// A real nginx on 127.0.0.1 serving one folder over HTTP and HTTPS (the certificate of
// TestCertificates), for as long as the object lives. Each instance has its own prefix
// folder, configuration, logs and free ports.
#pragma once

#include "TestSupport.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace mgtest {

// One line of the access log.
struct AccessLogEntry {
    long connection = 0;         // nginx's connection serial: equal numbers = one connection
    long connectionRequests = 0; // the request's number on its connection, from 1
    std::string scheme;          // "http" or "https"
    std::string method;
    std::string target;   // path and query as requested
    std::string protocol; // "HTTP/1.1", "HTTP/2.0"
    int status = 0;
    long long bytesSent = 0;      // body bytes
    long long totalBytesSent = 0; // headers and body
    std::string range;            // the Range header, empty when none
};

enum class HttpsVersion { Http1, Http2 };

class NginxServer {
public:
    // `extraConfig` goes into the server block, e.g. "location = /old.zip { return 302 /a.zip; }".
    // With Http2 the HTTPS port offers HTTP/2 (ALPN). Throws std::runtime_error (with nginx's
    // error log) when nginx does not come up.
    explicit NginxServer(const std::string& root, const std::string& extraConfig = {},
                         HttpsVersion https = HttpsVersion::Http1);
    ~NginxServer();

    int httpPort() const { return httpPort_; }
    int httpsPort() const { return httpsPort_; }
    // "http://127.0.0.1:<port>" + path; path starts with "/".
    std::string httpUrl(const std::string& path) const;
    std::string httpsUrl(const std::string& path) const;
    // The CA that signed the server's certificate.
    const std::string& caFile() const;

    // The requests logged so far (nginx logs a request once its response is sent).
    std::vector<AccessLogEntry> accessLog() const;
    // Waits until at least `count` requests are logged; returns them.
    std::vector<AccessLogEntry>
    waitForAccessLog(std::size_t count,
                     std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    void clearAccessLog();
    std::string errorLog() const;

private:
    void writeConfig(const std::string& root, const std::string& extraConfig, HttpsVersion https);

    TempDir prefix_{"mgtest-nginx"};
    int httpPort_ = 0;
    int httpsPort_ = 0;
    std::unique_ptr<ChildProcess> process_;
};

} // namespace mgtest
