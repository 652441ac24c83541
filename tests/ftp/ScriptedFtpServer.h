// A scripted FTP server on 127.0.0.1 for the client's own rules: it answers every command
// with a sensible default, lets a test replace the answer to any verb, serves one file over
// active or passive data connections and records every command line it saw.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ftptest {

class ScriptedFtpServer;

// One control connection, as the handlers see it.
class FtpSession {
public:
    FtpSession(ScriptedFtpServer& server, int control) : server_(server), control_(control) {}
    ~FtpSession();

    // Sends `text` followed by CR LF.
    void send(const std::string& text);
    void sendRaw(const std::string& bytes);
    // The default answer to a verb.
    void answerDefault(const std::string& verb, const std::string& argument);
    // Opens the data connection the client asked for (PORT or PASV); false when none came.
    bool openDataConnection();
    // Sends the file from the REST offset on in the server's pieces, at most `count` bytes;
    // false when the client closed the data connection before the end.
    bool sendFileOverData(std::size_t count = std::string::npos);
    void closeData();
    // Waits (at most `ms`) until the client hangs up the control connection: a server whose
    // connect-back to a client behind NAT hangs answers only after the client gave up.
    bool waitUntilClientHangsUp(int ms);

    int64_t restOffset = 0;
    bool closed = false;

private:
    ScriptedFtpServer& server_;
    int control_;
    int data_ = -1;
    int passiveListener_ = -1;
    sockaddr_in activeTarget_{};
    bool haveActiveTarget_ = false;
};

class ScriptedFtpServer {
public:
    using Handler = std::function<void(FtpSession&, const std::string& argument)>;

    ScriptedFtpServer();
    ~ScriptedFtpServer();

    uint16_t port() const { return port_; }

    // The greeting lines, CR LF added after each; an empty text greets with silence.
    void setGreeting(const std::string& text);
    // Replaces the answer to `verb` (upper case) with a handler or a fixed text.
    void on(const std::string& verb, Handler handler);
    void reply(const std::string& verb, const std::string& text);
    void setFile(std::string content) { file_ = std::move(content); }
    void setPieceSize(std::size_t size) { pieceSize_ = size; }
    // The address written into 227 replies, as "h1,h2,h3,h4"; the data port is still ours.
    void setPassiveAnnouncedAddress(const std::string& address) { announced_ = address; }

    std::vector<std::string> transcript() const;
    // The command lines seen whose verb is one of the logon-free ones the tests check.
    std::vector<std::string> commandsExceptLogon() const;
    int sessionCount() const { return sessions_; }

private:
    friend class FtpSession;
    void run();
    void serve(int control);
    bool readLine(int control, std::string& pending, std::string& line);

    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> sessions_{0};
    std::string greeting_ = "220 Scripted server ready";
    std::map<std::string, Handler> handlers_;
    std::string file_;
    std::size_t pieceSize_ = 2048;
    std::string announced_ = "127,0,0,1";
    mutable std::mutex mutex_;
    std::vector<std::string> transcript_;
    std::vector<std::thread> sessionThreads_;
    std::thread thread_;
};

} // namespace ftptest
