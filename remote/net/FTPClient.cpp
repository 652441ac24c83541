// The control connection: sending command lines, reading replies, the one-command operations.
#include "remote/net/FTPClient.h"

#include "remote/net/FTPReplyParsing.h"

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace nsFTP {

using nsSocket::CBlockingSocketException;

CFTPClient::CFTPClient(std::unique_ptr<nsSocket::IBlockingSocket> controlSocket, int timeoutSeconds,
                       int bufferSize, int receiveDelayMs)
    : timeoutSeconds_(timeoutSeconds), receiveDelayMs_(receiveDelayMs),
      receiveBuffer_(static_cast<std::size_t>(bufferSize < 2 ? 2 : bufferSize)),
      controlSocket_(std::move(controlSocket)) {}

CFTPClient::~CFTPClient() {
    if (transferring_)
        abortTransfer();
    if (isConnected())
        quit();
    observers_.clear();
}

void CFTPClient::attachObserver(ITransferNotification* observer) {
    observers_.insert(observer);
}

void CFTPClient::detachObserver(ITransferNotification* observer) {
    observers_.erase(observer);
}

void CFTPClient::reportError(const std::string& message, const char* source, int line) {
    notify([&](ITransferNotification& o) { o.onInternalError(message, source, line); });
}

bool CFTPClient::isConnected() const {
    return controlSocket_ && controlSocket_->handle() != nsSocket::NoSocket;
}

bool CFTPClient::openControlConnection(const std::string& host, uint16_t port) {
    closeControlConnection();
    try {
        controlSocket_->create(SOCK_STREAM);
        sockaddr_in address = controlSocket_->getHostByName(host.c_str(), port);
        controlSocket_->connect(address, timeoutSeconds_);
        return true;
    } catch (const CBlockingSocketException& e) {
        reportError(e.errorText(), __FILE__, __LINE__);
        controlSocket_->cleanup();
        return false;
    }
}

void CFTPClient::closeControlConnection() {
    try {
        controlSocket_->close();
    } catch (const CBlockingSocketException&) {
        controlSocket_->cleanup();
    }
    // A new session starts in ASCII with nothing pending: forget both whatever happened.
    currentType_.reset();
    pendingLines_.clear();
    partialLine_.clear();
}

void CFTPClient::dropControlConnection(const std::string& why) {
    reportError(why, __FILE__, __LINE__);
    controlSocket_->cleanup();
    currentType_.reset();
    pendingLines_.clear();
    partialLine_.clear();
}

bool CFTPClient::sendLine(const std::string& command) {
    if (!isConnected())
        return false;
    // A line break would smuggle a second command onto the connection.
    if (command.find_first_of("\r\n", 0, 3) != std::string::npos) {
        reportError("Command refused: it holds a line break", __FILE__, __LINE__);
        return false;
    }
    notify([&](ITransferNotification& o) { o.onSendCommand(command); });
    std::string line = command + endOfLine_;
    try {
        controlSocket_->write(line.data(), static_cast<int>(line.size()), timeoutSeconds_);
        return true;
    } catch (const CBlockingSocketException& e) {
        dropControlConnection(e.errorText());
        return false;
    }
}

// Receives until at least one whole line is queued. A line split across TCP segments is
// waited for rather than returned in pieces.
bool CFTPClient::receiveLines(int timeoutSeconds) {
    const int pieceSize = static_cast<int>(receiveBuffer_.size()) - 1;
    try {
        while (partialLine_.find('\n') == std::string::npos) {
            if (partialLine_.size() > MaxReplyLine) {
                dropControlConnection("Reply line too long");
                return false;
            }
            int count = controlSocket_->receive(receiveBuffer_.data(), pieceSize, timeoutSeconds);
            if (receiveDelayMs_ > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(receiveDelayMs_));
            if (count == 0) {
                // The server closed the connection; a last line without its end still counts.
                std::string lastLine = std::move(partialLine_);
                dropControlConnection("Connection closed by the server");
                if (lastLine.empty())
                    return false;
                pendingLines_.push_back(std::move(lastLine));
                return true;
            }
            receiveBuffer_[static_cast<std::size_t>(count)] = '\0';
            partialLine_.append(receiveBuffer_.data(),
                                strnlen(receiveBuffer_.data(), static_cast<std::size_t>(count)));
        }
    } catch (const CBlockingSocketException& e) {
        replyTimedOut_ = e.operation() == "Receive timeout";
        dropControlConnection(e.errorText());
        return false;
    }
    std::size_t end;
    while ((end = partialLine_.find('\n')) != std::string::npos) {
        if (end > MaxReplyLine) {
            dropControlConnection("Reply line too long");
            return false;
        }
        pendingLines_.push_back(partialLine_.substr(0, end + 1));
        partialLine_.erase(0, end + 1);
    }
    return true;
}

bool CFTPClient::readLine(std::string& line, int timeoutSeconds) {
    if (!isConnected() && pendingLines_.empty())
        return false;
    if (pendingLines_.empty() && !receiveLines(timeoutSeconds))
        return false;
    line = std::move(pendingLines_.front());
    pendingLines_.pop_front();
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

bool CFTPClient::readReplyWithin(ServerReply& reply, int timeoutSeconds) {
    replyTimedOut_ = false;
    std::string line;
    if (!readLine(line, timeoutSeconds))
        return false;
    std::string text = line;
    if (opensMultiLineReply(line)) {
        const std::string code = line.substr(0, 3);
        do {
            if (!readLine(line, timeoutSeconds))
                return false;
            text += "\r\n" + line;
            if (text.size() > MaxReply) {
                dropControlConnection("Reply too long");
                return false;
            }
        } while (!closesMultiLineReply(line, code));
    }
    reply.text = std::move(text);
    reply.code = hasValidReplyCode(reply.text) ? reply.text.substr(0, 3) : std::string();
    notify([&](ITransferNotification& o) { o.onResponse(reply); });
    // 421: the server is closing the session (an idle time-out, most often).
    if (reply.code == "421")
        dropControlConnection("The server closed the session: " + reply.text);
    return reply.isValid();
}

bool CFTPClient::readReply(ServerReply& reply) {
    return readReplyWithin(reply, timeoutSeconds_);
}

bool CFTPClient::sendAndRead(const std::string& command, ServerReply& reply) {
    return sendLine(command) && readReply(reply);
}

int CFTPClient::quit() {
    ServerReply reply;
    bool answered =
        sendLine("QUIT") && readReplyWithin(reply, std::min(QuitReplyWaitSeconds, timeoutSeconds_));
    closeControlConnection();
    return answered ? classifyReply(reply) : -1;
}

int CFTPClient::changeDirectory(const std::string& path) {
    ServerReply reply;
    return sendAndRead("CWD " + path, reply) ? classifyReply(reply) : -1;
}

int CFTPClient::querySize(const std::string& path, int64_t& size) {
    size = 0;
    if (currentType_ != TransferType::image() && setType(TransferType::image()) == 0)
        currentType_ = TransferType::image();
    ServerReply reply;
    if (!sendAndRead("SIZE " + path, reply))
        return -1;
    size = parseSizeReply(reply.text);
    return classifyReply(reply);
}

int CFTPClient::setType(const TransferType& type, int byteSize) {
    std::string line = typeCommandLine(type, byteSize);
    if (line.empty())
        return -1;
    ServerReply reply;
    return sendAndRead(line, reply) ? classifyReply(reply) : -1;
}

int CFTPClient::setRestart(int64_t offset) {
    ServerReply reply;
    if (!sendAndRead("REST " + std::to_string(offset), reply))
        return -1;
    switch (reply.firstDigit()) {
    case '3':
        return 0;
    case '4':
    case '5':
        return 1;
    default:
        return -1;
    }
}

int CFTPClient::requestPassive(uint32_t& address, uint16_t& port) {
    ServerReply reply;
    if (!sendAndRead("PASV", reply))
        return -1;
    int result = classifyReply(reply);
    if (result == 0 && !parsePassiveReply(reply.text, address, port))
        return -1;
    return result;
}

int CFTPClient::announcePort(const std::string& addressText, uint16_t port) {
    ServerReply reply;
    return sendAndRead(portCommandLine(addressText, port), reply) ? classifyReply(reply) : -1;
}

} // namespace nsFTP
