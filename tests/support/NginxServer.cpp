#include "NginxServer.h"

#include "TestCertificates.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace mgtest {

namespace {

// Fields separated by spaces; the request line and the Range header are quoted.
const char* const LogFormat =
    R"('$connection $connection_requests $scheme "$request" $status $body_bytes_sent $bytes_sent "$http_range"')";

std::string quotedField(std::istringstream& in) {
    std::string field;
    in >> std::ws;
    if (in.get() != '"')
        return field;
    std::getline(in, field, '"');
    return field;
}

bool parseLogLine(const std::string& line, AccessLogEntry& entry) {
    std::istringstream in(line);
    if (!(in >> entry.connection >> entry.connectionRequests >> entry.scheme))
        return false;
    std::istringstream request(quotedField(in));
    request >> entry.method >> entry.target >> entry.protocol;
    if (!(in >> entry.status >> entry.bytesSent >> entry.totalBytesSent))
        return false;
    entry.range = quotedField(in);
    if (entry.range == "-")
        entry.range.clear();
    return true;
}

} // namespace

NginxServer::NginxServer(const std::string& root, const std::string& extraConfig,
                         HttpsVersion https) {
    // A port taken by someone else between freePort and nginx's bind: try again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        httpPort_ = freePort();
        httpsPort_ = freePort();
        if (httpsPort_ == httpPort_)
            continue;
        writeConfig(root, extraConfig, https);
        process_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"nginx", "-p", prefix_.path(), "-c",
                                     prefix_.file("nginx.conf"), "-e", prefix_.file("error.log")},
            prefix_.file("stderr.log"));
        auto timeout = std::chrono::seconds(5);
        if (waitForPort(httpPort_, timeout) && waitForPort(httpsPort_, timeout) &&
            process_->running())
            return;
        process_.reset();
    }
    throw std::runtime_error("nginx did not start: " + errorLog() +
                             readFile(prefix_.file("stderr.log")));
}

NginxServer::~NginxServer() = default;

void NginxServer::writeConfig(const std::string& root, const std::string& extraConfig,
                              HttpsVersion https) {
    const TestCertificates& certificates = testCertificates();
    const std::string& dir = prefix_.path();
    std::ostringstream conf;
    // One process, no user switch: it can read the test's private folders and dies with us.
    conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
         << "error_log " << dir << "/error.log warn;\npid " << dir << "/nginx.pid;\n"
         << "events { worker_connections 256; }\nhttp {\n"
         << "  log_format mg " << LogFormat << ";\n"
         << "  access_log " << dir << "/access.log mg;\n";
    for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        conf << "  " << temp << "_temp_path " << dir << "/" << temp << ";\n";
    conf << "  default_type application/octet-stream;\n  sendfile on;\n"
         << "  keepalive_timeout 65;\n  keepalive_requests 100000;\n"
         << "  server {\n"
         << "    listen 127.0.0.1:" << httpPort_ << ";\n"
         << "    listen 127.0.0.1:" << httpsPort_
         << (https == HttpsVersion::Http2 ? " ssl http2;\n" : " ssl;\n") << "    ssl_certificate "
         << certificates.serverCert << ";\n"
         << "    ssl_certificate_key " << certificates.serverKey << ";\n"
         << "    root " << std::filesystem::absolute(root).string() << ";\n"
         << "    " << extraConfig << "\n  }\n}\n";
    writeFile(prefix_.file("nginx.conf"), conf.str());
}

std::string NginxServer::httpUrl(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(httpPort_) + path;
}

std::string NginxServer::httpsUrl(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(httpsPort_) + path;
}

const std::string& NginxServer::caFile() const {
    return testCertificates().caFile;
}

std::vector<AccessLogEntry> NginxServer::accessLog() const {
    std::vector<AccessLogEntry> entries;
    std::ifstream in(prefix_.file("access.log"));
    std::string line;
    while (std::getline(in, line)) {
        AccessLogEntry entry;
        if (parseLogLine(line, entry))
            entries.push_back(entry);
    }
    return entries;
}

std::vector<AccessLogEntry> NginxServer::waitForAccessLog(std::size_t count,
                                                          std::chrono::milliseconds timeout) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    auto entries = accessLog();
    while (entries.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        entries = accessLog();
    }
    return entries;
}

void NginxServer::clearAccessLog() {
    // nginx keeps the file open for appending, so truncating in place is seen at once.
    if (truncate(prefix_.file("access.log").c_str(), 0) != 0 && errno != ENOENT)
        throw std::runtime_error("cannot clear the access log");
}

std::string NginxServer::errorLog() const {
    return readFile(prefix_.file("error.log"));
}

} // namespace mgtest
