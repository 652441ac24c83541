// The program's own FTP client (RFC 959) over the blocking socket. The remote source uses it
// to log on, ask a file's size and download one byte range of it; the rest of the machinery
// (firewall logons, passive mode, uploads, abort) is general.
#pragma once

#include "remote/net/BlockingSocket.h"
#include "remote/net/FTPFile.h"
#include "remote/net/FTPTypes.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace nsFTP {

class CFTPClient {
public:
    // Ceilings on what a server can make the client hold.
    static constexpr std::size_t MaxReplyLine = 8 * 1024;
    static constexpr std::size_t MaxReply = 64 * 1024;
    // A transfer stopped at its byte limit waits at most this long (or the time-out, when
    // shorter) for the server's final reply; some servers never send one.
    static constexpr int FinalReplyWaitSeconds = 3;
    // The reply to QUIT changes nothing; a silent server must not hold up the exit or the
    // next logon for the whole time-out.
    static constexpr int QuitReplyWaitSeconds = 1;

    CFTPClient(std::unique_ptr<nsSocket::IBlockingSocket> controlSocket, int timeoutSeconds = 10,
               int bufferSize = 2048, int receiveDelayMs = 0);
    ~CFTPClient();
    CFTPClient(const CFTPClient&) = delete;
    CFTPClient& operator=(const CFTPClient&) = delete;

    void attachObserver(ITransferNotification* observer);
    void detachObserver(ITransferNotification* observer);

    bool isConnected() const;
    int timeoutSeconds() const { return timeoutSeconds_; }
    void setTimeoutSeconds(int seconds) { timeoutSeconds_ = seconds; }
    const LogonParameters& lastLogon() const { return lastLogon_; }

    // Commands. Integer results: 0 positive completion, 1 negative, -1 no usable reply.
    bool logOn(const LogonParameters& parameters);
    int quit();
    int changeDirectory(const std::string& path);
    // Switches to image type first when the session is in another type: several servers
    // refuse SIZE in ASCII mode.
    int querySize(const std::string& path, int64_t& size);
    int setType(const TransferType& type, int byteSize = 0);
    // 0 for a "3" reply.
    int setRestart(int64_t offset);
    int requestPassive(uint32_t& address, uint16_t& port);
    int announcePort(const std::string& addressText, uint16_t port);
    // During a transfer only raises a flag that the transfer loop reads (any thread).
    int abortTransfer();
    // From any thread: the current or next transfer stops after its next piece. Never
    // touches the control connection, which belongs to the thread that runs the transfer.
    void requestAbort() { abortRequested_ = true; }
    void clearAbortRequest() { abortRequested_ = false; }

    // Downloads `remotePath` into `localPath` from byte `offset` (-1: append to what the
    // local file holds). With `limit` other than -1 the transfer stops once at least `limit`
    // bytes are on disk. `knownRemoteSize` other than -1 spares the SIZE command.
    bool download(const std::string& remotePath, const std::string& localPath,
                  const TransferType& type, bool passive, int64_t offset = 0, int64_t limit = -1,
                  int64_t knownRemoteSize = -1);
    // Runs one data command: kinds List to Retrieve fill `file`, Store to Append send it.
    bool runDataCommand(DataCommand kind, const std::string& path, const TransferType& type,
                        bool passive, int64_t offset, CFile& file, int64_t limit = -1);
    // True when the last data command failed because no data connection could be made in
    // the mode asked for: the server refused PORT or PASV, answered 425, or went silent while
    // setting the connection up (a server whose connect-back to a client behind NAT hangs
    // answers PORT or RETR only after the client has given up). The caller may then try the
    // other mode. A session the server ended (421) does not count.
    bool dataConnectionFailed() const { return dataConnectionFailed_; }

    // The control connection.
    bool sendLine(const std::string& command);
    bool readReply(ServerReply& reply);
    bool sendAndRead(const std::string& command, ServerReply& reply);

private:
    enum class TransferOutcome { Completed, LimitReached, Aborted, Failed };

    bool openControlConnection(const std::string& host, uint16_t port);
    void closeControlConnection();
    bool readLine(std::string& line, int timeoutSeconds);
    bool receiveLines(int timeoutSeconds);
    bool readReplyWithin(ServerReply& reply, int timeoutSeconds);
    bool readFinalReply(ServerReply& reply, int timeoutSeconds);
    void dropControlConnection(const std::string& why);
    void resynchronise(bool stoppedEarly);
    void abortStartedTransfer();
    // After a failed PORT, PASV, REST or data command: was it the mode's fault?
    void noteSetupFailure();

    bool walkLogonTable(const LogonParameters& parameters);
    bool ensureType(const TransferType& type);
    bool openActiveData(nsSocket::IBlockingSocket& data, DataCommand kind, const std::string& path,
                        int64_t offset);
    bool openPassiveData(nsSocket::IBlockingSocket& data, DataCommand kind, const std::string& path,
                         int64_t offset);
    bool sendRestartAndCommand(DataCommand kind, const std::string& path, int64_t offset,
                               bool& commandAccepted);
    TransferOutcome receiveData(nsSocket::IBlockingSocket& data, CFile& file, int64_t limit);
    TransferOutcome sendData(nsSocket::IBlockingSocket& data, CFile& file);
    bool finishTransfer(nsSocket::IBlockingSocket& data, TransferOutcome outcome);

    void reportError(const std::string& message, const char* source, int line);
    template <typename Event> void notify(Event event) {
        for (ITransferNotification* observer : observers_)
            event(*observer);
    }

    int timeoutSeconds_;
    int receiveDelayMs_;
    const std::string endOfLine_ = "\r\n";
    std::vector<char> receiveBuffer_;
    std::string partialLine_;
    std::deque<std::string> pendingLines_;
    std::optional<TransferType> currentType_;
    std::unique_ptr<nsSocket::IBlockingSocket> controlSocket_;
    std::atomic<bool> transferring_{false};
    std::atomic<bool> abortRequested_{false};
    bool resumeSupported_ = true;
    bool dataConnectionFailed_ = false;
    bool replyTimedOut_ = false; // the last reply read ended in the time-out
    std::set<ITransferNotification*> observers_;
    LogonParameters lastLogon_;
};

// The command line of a data command ("RETR f", "LIST" for an empty path).
std::string dataCommandLine(DataCommand kind, const std::string& path);

} // namespace nsFTP
