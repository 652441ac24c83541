// Data connections (active and passive), the transfer loops, abort and keeping the control
// connection in step after a transfer that ended early.
#include "remote/net/FTPClient.h"

#include "remote/net/FTPReplyParsing.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace nsFTP {

using nsSocket::CBlockingSocketException;
using nsSocket::IBlockingSocket;

namespace {

// Before a transfer's final reply a server may send further preliminary (1xx) replies; this
// many are tolerated.
constexpr int MaxPreliminaryReplies = 8;

// The limit rule counts one full piece past the limit, so that whole pieces of at least
// `limit` bytes reach the file.
constexpr int64_t LimitSlack = 2048;

bool restartApplies(DataCommand kind) {
    return kind == DataCommand::Retrieve || kind == DataCommand::Store ||
           kind == DataCommand::Append;
}

struct SocketCloser {
    IBlockingSocket& socket;
    ~SocketCloser() { socket.cleanup(); }
};

} // namespace

std::string dataCommandLine(DataCommand kind, const std::string& path) {
    auto withPath = [&](const char* verb) {
        return path.empty() ? std::string(verb) : std::string(verb) + " " + path;
    };
    switch (kind) {
    case DataCommand::List:
        return withPath("LIST");
    case DataCommand::NameList:
        return withPath("NLST");
    case DataCommand::Retrieve:
        return "RETR " + path;
    case DataCommand::Store:
        return "STOR " + path;
    case DataCommand::StoreUnique:
        return "STOU " + path;
    case DataCommand::Append:
        return "APPE " + path;
    }
    return {};
}

bool CFTPClient::ensureType(const TransferType& type) {
    const TransferType current = currentType_.value_or(TransferType{});
    if (type != current) {
        if (setType(type, 0) != 0)
            return false;
    }
    currentType_ = type;
    return true;
}

bool CFTPClient::sendRestartAndCommand(DataCommand kind, const std::string& path, int64_t offset,
                                       bool& commandAccepted) {
    commandAccepted = false;
    if (resumeSupported_ && restartApplies(kind) && offset > 0 && setRestart(offset) != 0) {
        noteSetupFailure();
        return false;
    }
    ServerReply reply;
    if (!sendAndRead(dataCommandLine(kind, path), reply)) {
        noteSetupFailure();
        return false;
    }
    if (reply.firstDigit() != '1') {
        // 425: the server could not open the data connection.
        if (reply.code == "425")
            dataConnectionFailed_ = true;
        return false;
    }
    commandAccepted = true;
    return true;
}

void CFTPClient::noteSetupFailure() {
    // Silence while the data connection is being set up: in active mode the server may be
    // trying to connect back before it answers.
    if (replyTimedOut_)
        dataConnectionFailed_ = true;
}

bool CFTPClient::openActiveData(IBlockingSocket& data, DataCommand kind, const std::string& path,
                                int64_t offset) {
    std::unique_ptr<IBlockingSocket> listener = controlSocket_->createInstance();
    SocketCloser closeListener{*listener};
    uint16_t port = 0;
    std::string localAddress;
    try {
        listener->create(SOCK_STREAM);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        listener->bind(any);
        sockaddr_in chosen{};
        listener->getSockAddr(chosen);
        port = ntohs(chosen.sin_port);
        listener->listen();
        sockaddr_in local{};
        controlSocket_->getSockAddr(local);
        localAddress = nsSocket::addressText(local);
    } catch (const CBlockingSocketException& e) {
        reportError(e.errorText(), __FILE__, __LINE__);
        dataConnectionFailed_ = true;
        return false;
    }
    if (announcePort(localAddress, port) != 0) {
        // A refusal or silence, not a session the server ended (421).
        dataConnectionFailed_ = isConnected() || replyTimedOut_;
        return false;
    }
    bool commandAccepted = false;
    if (!sendRestartAndCommand(kind, path, offset, commandAccepted))
        return false;
    // The server has promised to connect; waiting longer than the time-out would hang the
    // caller behind a firewall or NAT that blocks the connection.
    try {
        sockaddr_in peer{};
        if (listener->accept(data, peer, timeoutSeconds_))
            return true;
    } catch (const CBlockingSocketException& e) {
        reportError(e.errorText(), __FILE__, __LINE__);
    }
    dataConnectionFailed_ = true;
    resynchronise(false);
    return false;
}

bool CFTPClient::openPassiveData(IBlockingSocket& data, DataCommand kind, const std::string& path,
                                 int64_t offset) {
    uint32_t announced = 0;
    uint16_t port = 0;
    if (requestPassive(announced, port) != 0) {
        dataConnectionFailed_ = isConnected() || replyTimedOut_;
        return false;
    }
    try {
        // The address inside the 227 reply is often a private one behind NAT, or could point
        // the client at a third host: the data connection goes to the server we talk to.
        sockaddr_in target{};
        controlSocket_->getPeerAddr(target);
        target.sin_port = htons(port);
        data.create(SOCK_STREAM);
        data.connect(target, timeoutSeconds_);
    } catch (const CBlockingSocketException& e) {
        reportError(e.errorText(), __FILE__, __LINE__);
        data.cleanup();
        dataConnectionFailed_ = true;
        return false;
    }
    bool commandAccepted = false;
    return sendRestartAndCommand(kind, path, offset, commandAccepted);
}

CFTPClient::TransferOutcome CFTPClient::receiveData(IBlockingSocket& data, CFile& file,
                                                    int64_t limit) {
    transferring_ = true;
    notify([](ITransferNotification& o) { o.onBeginReceivingData(); });
    const int pieceSize = static_cast<int>(receiveBuffer_.size());
    const int64_t slack = std::max<int64_t>(LimitSlack, pieceSize);
    int64_t total = 0;
    bool limitReached = false;
    bool writeFailed = false;
    try {
        int count = data.receive(receiveBuffer_.data(), pieceSize, timeoutSeconds_);
        total = count;
        auto reached = [&] { return limit != -1 && total - slack >= limit; };
        while (!abortRequested_ && count != 0 && !reached()) {
            notify(
                [&](ITransferNotification& o) { o.onBytesReceived(receiveBuffer_.data(), count); });
            if (!file.write(receiveBuffer_.data(), static_cast<std::size_t>(count))) {
                writeFailed = true;
                break;
            }
            count = data.receive(receiveBuffer_.data(), pieceSize, timeoutSeconds_);
            total += count;
        }
        limitReached = count != 0 && reached();
    } catch (const CBlockingSocketException& e) {
        transferring_ = false;
        reportError(e.errorText(), __FILE__, __LINE__);
        data.cleanup();
        return TransferOutcome::Failed;
    }
    notify([&](ITransferNotification& o) { o.onEndReceivingData(total); });
    transferring_ = false;
    if (writeFailed) {
        reportError(std::string("Cannot write the local file: ") + std::strerror(errno), __FILE__,
                    __LINE__);
        return TransferOutcome::Failed;
    }
    if (abortRequested_) {
        // Closing the data connection first ends the transfer on servers that read no
        // command while they send.
        data.cleanup();
        abortStartedTransfer();
        return TransferOutcome::Aborted;
    }
    return limitReached ? TransferOutcome::LimitReached : TransferOutcome::Completed;
}

CFTPClient::TransferOutcome CFTPClient::sendData(IBlockingSocket& data, CFile& file) {
    transferring_ = true;
    try {
        std::size_t count;
        while (!abortRequested_ &&
               (count = file.read(receiveBuffer_.data(), receiveBuffer_.size())) != 0) {
            data.write(receiveBuffer_.data(), static_cast<int>(count), timeoutSeconds_);
            notify([&](ITransferNotification& o) {
                o.onBytesSent(receiveBuffer_.data(), static_cast<int>(count));
            });
        }
    } catch (const CBlockingSocketException& e) {
        transferring_ = false;
        reportError(e.errorText(), __FILE__, __LINE__);
        data.cleanup();
        return TransferOutcome::Failed;
    }
    transferring_ = false;
    if (abortRequested_) {
        data.cleanup();
        abortStartedTransfer();
        return TransferOutcome::Aborted;
    }
    return TransferOutcome::Completed;
}

bool CFTPClient::readFinalReply(ServerReply& reply, int timeoutSeconds) {
    for (int preliminary = 0; preliminary <= MaxPreliminaryReplies; ++preliminary) {
        if (!readReplyWithin(reply, timeoutSeconds))
            return false;
        if (reply.firstDigit() != '1')
            return true;
    }
    return false;
}

// A transfer that ended early still owes a final reply (426 or 226). Reading it keeps the
// next command's reply where it belongs; a server that sends none within a short wait (some
// send only the 150 line) is logged on again rather than misread one reply behind.
void CFTPClient::resynchronise(bool stoppedEarly) {
    const int wait = std::min(FinalReplyWaitSeconds, timeoutSeconds_);
    ServerReply reply;
    if (isConnected() && readFinalReply(reply, wait))
        return;
    if (isConnected())
        dropControlConnection(stoppedEarly ? "No final reply after the transfer was stopped"
                                           : "Control connection out of step");
    if (!lastLogon_.host.empty() || lastLogon_.firewallKind != 0)
        logOn(lastLogon_);
}

bool CFTPClient::finishTransfer(IBlockingSocket& data, TransferOutcome outcome) {
    try {
        data.close();
    } catch (const CBlockingSocketException& e) {
        reportError(e.errorText(), __FILE__, __LINE__);
        data.cleanup();
    }
    switch (outcome) {
    case TransferOutcome::Completed: {
        ServerReply reply;
        if (readFinalReply(reply, timeoutSeconds_))
            return reply.firstDigit() == '2';
        resynchronise(false);
        return false;
    }
    case TransferOutcome::LimitReached:
        // The bytes asked for are on disk; the server's 426 or 226 only ends the transfer.
        resynchronise(true);
        return true;
    case TransferOutcome::Failed:
        resynchronise(false);
        return false;
    case TransferOutcome::Aborted:
        return false;
    }
    return false;
}

bool CFTPClient::runDataCommand(DataCommand kind, const std::string& path, const TransferType& type,
                                bool passive, int64_t offset, CFile& file, int64_t limit) {
    dataConnectionFailed_ = false;
    if (transferring_ || !isConnected())
        return false;
    if (!ensureType(type))
        return false;
    std::unique_ptr<IBlockingSocket> data = controlSocket_->createInstance();
    bool ready = passive ? openPassiveData(*data, kind, path, offset)
                         : openActiveData(*data, kind, path, offset);
    if (!ready) {
        data->cleanup();
        return false;
    }
    bool receiving =
        kind == DataCommand::List || kind == DataCommand::NameList || kind == DataCommand::Retrieve;
    TransferOutcome outcome = receiving ? receiveData(*data, file, limit) : sendData(*data, file);
    return finishTransfer(*data, outcome);
}

int CFTPClient::abortTransfer() {
    if (transferring_) {
        abortRequested_ = true;
        return 0;
    }
    abortRequested_ = false;
    ServerReply reply;
    if (!sendAndRead("ABOR", reply))
        return -1;
    // An abort during a transfer is answered twice: 426 for the transfer, then 226.
    if (reply.firstDigit() == '4') {
        ServerReply closing;
        if (!readReplyWithin(closing, std::min(FinalReplyWaitSeconds, timeoutSeconds_)) &&
            isConnected())
            dropControlConnection("No reply to ABOR");
    }
    return classifyReply(reply);
}

// The transfer's own final reply has not been read yet, so ABOR is answered twice whatever
// the moment: 426 then 226 when the server was still sending, or the transfer's 226 then 225
// (or 226) when it had finished. Reading only the first would leave the second to be taken
// as the answer to the next command, and every command after it one reply behind.
void CFTPClient::abortStartedTransfer() {
    abortRequested_ = false;
    ServerReply first;
    ServerReply second;
    const int wait = std::min(FinalReplyWaitSeconds, timeoutSeconds_);
    if (!sendAndRead("ABOR", first))
        return;
    if (!readReplyWithin(second, wait) && isConnected())
        dropControlConnection("No reply to ABOR");
}

bool CFTPClient::download(const std::string& remotePath, const std::string& localPath,
                          const TransferType& type, bool passive, int64_t offset, int64_t limit,
                          int64_t knownRemoteSize) {
    CFile file;
    const bool append = resumeSupported_ && offset == -1;
    if (!file.open(localPath, append ? "ab" : "wb")) {
        reportError(std::strerror(errno), __FILE__, __LINE__);
        return false;
    }
    file.seekToEnd();
    int64_t remoteSize = knownRemoteSize;
    if (remoteSize < 0)
        querySize(remotePath, remoteSize);
    if (offset == -1)
        offset = file.position();
    notify(
        [&](ITransferNotification& o) { o.onPreReceiveFile(remotePath, localPath, remoteSize); });
    bool succeeded =
        runDataCommand(DataCommand::Retrieve, remotePath, type, passive, offset, file, limit);
    notify(
        [&](ITransferNotification& o) { o.onPostReceiveFile(remotePath, localPath, remoteSize); });
    file.close();
    return succeeded;
}

} // namespace nsFTP
