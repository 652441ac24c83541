// HTTP and HTTPS GET requests with streamed bodies, over libcurl.
//
// One client keeps one transfer handle for its lifetime, so consecutive requests to the same
// server travel on one kept-alive connection. A response is pulled: `get` returns once the
// final status line and headers have arrived (redirects already followed), and `read` hands
// out the body piece by piece. At most `bufferLimit` bytes of a body are held in memory; the
// transfer is paused while the reader lags behind.
#pragma once

#include "platform/HttpSignIn.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Initialises the HTTP library for the process. Start-up calls it before any thread starts;
// later calls do nothing.
void initHttpGlobal();

// A URL syntax check: after trimming, a scheme, "://", a non-empty host and, if written, a
// valid port. Any scheme is accepted here; the callers restrict schemes themselves. A file
// address has no host instead: file:///path or file://localhost/path.
bool isValidUrl(const std::string& url);

struct HttpOptions {
    std::chrono::milliseconds connectTimeout{15000};
    // A read fails when no byte arrives for this long while the reader waits.
    std::chrono::milliseconds stallTimeout{20000};
    // Trusted CA bundle. Empty: CURL_CA_BUNDLE or SSL_CERT_FILE when set, else the system store.
    std::string caFile;
    long maxRedirects = 10;
    std::size_t bufferLimit = 1024 * 1024;
    // libcurl's receive buffer: one body piece arrives in at most this many bytes.
    std::size_t receiveBufferSize = 256 * 1024;
    // An abandoned body with at most this many bytes left is read to its end so that the
    // connection stays reusable; a longer one is dropped with its connection.
    std::size_t drainLimit = 64 * 1024;
    // User name and password from ~/.netrc for a server that has an entry there, unless
    // credentials were given (setCredentials).
    bool useNetrc = true;
};

class HttpClient {
public:
    explicit HttpClient(HttpOptions options = {});
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Sends a GET with the extra header lines (without CR LF) and waits for the final
    // response's headers. Ends the previous response first. False when no response came
    // (bad address, refused connection, TLS failure, time-out, cancel); see `errorText`.
    // A transfer that fails after the headers returns true; its reads then come up short.
    bool get(const std::string& url, const std::vector<std::string>& extraHeaders = {});

    // The server's user name and password for the following requests, in whatever scheme
    // the server asks for (a 401 answered by libcurl itself is not seen by the caller); an
    // empty user leaves ~/.netrc to name them. Sent only to `host` when it is given, and
    // never to another host that a redirect leads to.
    void setCredentials(std::string user, std::string password, std::string host = {});
    // The same for the proxy (proxies come from the environment).
    void setProxyCredentials(std::string user, std::string password);
    const HttpCredentials& credentials() const { return credentials_; }

    // Of the final response of the last `get`.
    long status() const { return status_; }
    std::optional<std::string> header(std::string_view name) const;
    const std::string& effectiveUrl() const { return effectiveUrl_; }

    // Up to n body bytes; fewer only at the end of the body or on failure; 0 when nothing
    // more will come. Waits at most the stall time-out for each byte.
    std::size_t read(void* buffer, std::size_t n);
    // True when the whole body arrived (no failure, no cut-off).
    bool bodyComplete() const { return done_ && !failed_ && buffered() == 0; }
    bool failed() const { return failed_; }
    // The most body bytes held at once since the client was made (for tests and benchmarks).
    std::size_t peakBuffered() const { return peakBuffered_; }
    const std::string& errorText() const { return errorText_; }

    // Ends the current response (keeps the connection when little is left of the body).
    void finish();

    // From any thread: fails the transfer in flight and every later request until
    // `clearAbort`. Does not wait for the server.
    void abort();
    void clearAbort();
    bool aborted() const { return abort_.load(); }

private:
    struct Handles;
    enum class Wait { Headers, Body };

    void applyOptions(const std::string& url, const std::vector<std::string>& extraHeaders);
    void pumpUntil(Wait what, std::chrono::milliseconds stallLimit);
    void pumpOnce(std::chrono::milliseconds stallLimit);
    void collectFinished();
    bool proxyRefusedTunnel() const;
    void fail(std::string text);
    void detach();
    std::size_t buffered() const { return body_.size() - bodyStart_; }

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self);
    static int onProgress(void* self, long long, long long, long long, long long);
    void takeHeaderLine(std::string_view line);

    void applyCredentials(const std::string& url);
    // From a 401 or 407: whether the server or proxy offers Basic alone.
    void learnSchemes();

    HttpOptions options_;
    std::unique_ptr<Handles> handles_;
    HttpCredentials credentials_;
    std::atomic<bool> abort_{false};

    bool attached_ = false; // the transfer handle is in the multi handle
    bool headersReady_ = false;
    bool done_ = false;
    bool failed_ = false;
    bool paused_ = false;
    std::string errorText_;
    long status_ = 0;
    long pendingStatus_ = 0;
    std::vector<std::pair<std::string, std::string>> headers_;
    std::size_t headerBytes_ = 0;
    std::size_t bodyReceived_ = 0;
    std::string effectiveUrl_;
    std::vector<char> body_;
    std::size_t bodyStart_ = 0;
    std::size_t peakBuffered_ = 0;
    std::chrono::steady_clock::time_point lastByte_;
};
