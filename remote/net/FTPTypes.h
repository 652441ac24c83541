// The records the FTP client exchanges with its callers and observers.
#pragma once

#include <cstdint>
#include <string>

namespace nsFTP {

// Where the client logs on. With a firewall kind other than 0 the client connects to the
// firewall and names the real host inside its logon commands.
struct LogonParameters {
    std::string host;
    uint16_t port = 21;
    std::string user = "anonymous";
    std::string password;
    std::string account;
    std::string firewallHost;
    std::string firewallUser;
    std::string firewallPassword;
    uint16_t firewallPort = 21;
    int32_t firewallKind = 0; // 0 (no firewall) to 8
};

struct ServerReply {
    std::string text; // every line, joined by CR LF, without the final CR LF
    std::string code; // three characters; empty when the reply had no valid code

    bool isValid() const { return !code.empty(); }
    char firstDigit() const { return code.empty() ? '\0' : code[0]; }
};

// The representation type of TYPE.
struct TransferType {
    enum Type { Ascii = 0, Ebcdic = 1, Image = 2, Local = 3 };
    enum Format { NonPrint = 0, Telnet = 1, CarriageControl = 2 };

    int typeCode = Ascii;
    int formatCode = NonPrint;

    static TransferType image() { return {Image, NonPrint}; }
    bool operator==(const TransferType&) const = default;
};

// The data commands; 0 to 2 receive from the server, 3 to 5 send to it.
enum class DataCommand {
    List = 0,
    NameList = 1,
    Retrieve = 2,
    Store = 3,
    StoreUnique = 4,
    Append = 5
};

// Events of the client. Every operation is optional: the defaults do nothing.
class ITransferNotification {
public:
    virtual ~ITransferNotification() = default;
    virtual void onInternalError(const std::string& /*message*/, const char* /*sourceName*/,
                                 int /*line*/) {}
    virtual void onBeginReceivingData() {}
    virtual void onEndReceivingData(int64_t /*totalBytes*/) {}
    virtual void onBytesReceived(const char* /*data*/, int /*count*/) {}
    virtual void onBytesSent(const char* /*data*/, int /*count*/) {}
    virtual void onPreReceiveFile(const std::string& /*remotePath*/,
                                  const std::string& /*localPath*/, int64_t /*remoteSize*/) {}
    virtual void onPreSendFile(const std::string& /*localPath*/, const std::string& /*remotePath*/,
                               int64_t /*localSize*/) {}
    virtual void onPostReceiveFile(const std::string& /*remotePath*/,
                                   const std::string& /*localPath*/, int64_t /*remoteSize*/) {}
    virtual void onPostSendFile(const std::string& /*localPath*/, const std::string& /*remotePath*/,
                                int64_t /*localSize*/) {}
    virtual void onSendCommand(const std::string& /*command*/) {}
    virtual void onResponse(const ServerReply& /*reply*/) {}
};

} // namespace nsFTP
