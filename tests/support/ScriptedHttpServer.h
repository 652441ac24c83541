// An HTTP/1.1 server on 127.0.0.1 whose answers a test scripts: for what a real server does
// not do on purpose (ignore ranges, cut a body short, answer with the wrong part, never
// answer, redirect in chains). Each connection runs on its own thread and keeps alive
// until the client closes it or a reply says otherwise. It records every request.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace mgtest {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct SeenRequest {
    std::string method;
    std::string target;
    HeaderList headers;
    int connection = 0; // accepted connections are numbered from 1
    std::optional<std::string> header(const std::string& name) const; // any case
};

struct ScriptedReply {
    int status = 200;
    HeaderList headers; // Content-Length is added from the body unless given here
    std::string body;
    std::optional<std::size_t> cutAfter; // send this many body bytes, then close
    bool noAnswer = false;               // read the request, never answer (until shut down)
    bool close = false;                  // close the connection after this reply
    // With cutAfter: stay connected and silent after the cut (a transfer that stalls) until
    // the client goes away or the server shuts down.
    bool stallAfterCut = false;
    // After the body, send filler bytes for as long as the client reads (an endless body;
    // give a Content-Length in `headers` or the body ends only when the connection does).
    bool endless = false;

    // A file served as nginx serves it: 206 for a satisfiable "bytes=a-b", "bytes=a-" or
    // "bytes=-n", 416 with "bytes */size" past the end, 200 without Range.
    static ScriptedReply file(const std::string& content, const SeenRequest& request);
    // The whole file with 200, whatever the request asked: a server that ignores ranges.
    static ScriptedReply whole(const std::string& content);
    static ScriptedReply error(int status, const std::string& html);
    static ScriptedReply redirect(int status, const std::string& location);
};

class ScriptedHttpServer {
public:
    using Handler = std::function<ScriptedReply(const SeenRequest&)>;

    explicit ScriptedHttpServer(Handler handler);
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path) const; // "http://127.0.0.1:<port>" + path
    std::vector<SeenRequest> requests() const;
    int connectionCount() const { return connections_.load(); }

private:
    void acceptLoop();
    void serveConnection(int fd, int number);
    bool waitReadable(int fd) const;
    void holdSilent(int fd) const;
    void sendEndlessly(int fd) const;

    Handler handler_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<SeenRequest> requests_;
    std::vector<std::thread> threads_;
    std::thread acceptThread_;
};

} // namespace mgtest
