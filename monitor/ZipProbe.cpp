// The network side of link recognition: the first four bytes of a remote file, fetched with a
// bounded time and never more than needed.
#include "monitor/ZipLink.h"

#include "platform/HttpClient.h"
#include "remote/Address.h"
#include "remote/net/BlockingSocket.h"
#include "remote/net/FTPClient.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace monitor {

namespace {

constexpr std::size_t kSignatureSize = 4;
constexpr std::array<unsigned char, kSignatureSize> kLocalHeaderSignature{0x50, 0x4B, 0x03, 0x04};

bool isSignature(const std::array<unsigned char, kSignatureSize>& bytes, std::size_t count) {
    return count > 0 &&
           std::memcmp(bytes.data(), kLocalHeaderSignature.data(), kSignatureSize) == 0;
}

// The server is asked for the first four bytes only; one that ignores the range still sends
// no more than we read, since the transfer is dropped right after them.
bool probeHttp(const std::string& url, std::chrono::milliseconds budget) {
    HttpOptions options;
    options.connectTimeout = budget;
    options.stallTimeout = budget / 2;
    options.maxRedirects = 0; // a redirect could lead anywhere, a private service included
    options.bufferLimit = kSignatureSize;
    options.drainLimit = 0;
    HttpClient client(options);
    if (!client.get(url, {"Range: bytes=0-3"}))
        return false;
    if (client.status() != 200 && client.status() != 206)
        return false;
    std::array<unsigned char, kSignatureSize> bytes{};
    const std::size_t count = client.read(bytes.data(), bytes.size());
    client.abort();
    client.finish();
    return isSignature(bytes, count);
}

// Keeps the first bytes of the download and stops the transfer once it holds them.
class SignatureFile : public nsFTP::CFile {
public:
    explicit SignatureFile(nsFTP::CFTPClient& client) : client_(client) {}

    bool write(const char* data, std::size_t count) override {
        const std::size_t take = std::min(count, kSignatureSize - held_);
        std::memcpy(bytes_.data() + held_, data, take);
        held_ += take;
        if (held_ == kSignatureSize)
            client_.abortTransfer(); // raises the flag the transfer loop reads
        return true;
    }

    bool matches() const { return isSignature(bytes_, held_); }

private:
    nsFTP::CFTPClient& client_;
    std::array<unsigned char, kSignatureSize> bytes_{};
    std::size_t held_ = 0;
};

uint16_t portOf(const String& address, uint16_t fallback) {
    const std::string server = serverPart(address).field("://", 2).str();
    const auto bracket = server.rfind(']');
    const auto colon = server.rfind(':');
    if (colon == std::string::npos || (bracket != std::string::npos && colon < bracket))
        return fallback;
    const int port = std::atoi(server.c_str() + colon + 1);
    return port > 0 && port < 65536 ? static_cast<uint16_t>(port) : fallback;
}

bool probeFtp(const String& address, std::chrono::milliseconds budget) {
    const int seconds = std::max<int>(1, static_cast<int>(budget.count() / 1000 / 2));
    nsFTP::CFTPClient client(std::make_unique<nsSocket::CBlockingSocket>(), seconds);
    nsFTP::LogonParameters logon;
    logon.host = hostOfAddress(address);
    logon.port = portOf(address, 21);
    logon.password = "marrowglen@";
    if (!client.logOn(logon))
        return false;
    const std::string path = percentDecode(pathPart(address).str());
    SignatureFile file(client);
    bool done = client.runDataCommand(nsFTP::DataCommand::Retrieve, path,
                                      nsFTP::TransferType::image(), false, 0, file);
    if (!done && client.dataConnectionFailed()) // behind NAT only passive works
        client.runDataCommand(nsFTP::DataCommand::Retrieve, path, nsFTP::TransferType::image(),
                              true, 0, file);
    client.quit();
    return file.matches();
}

} // namespace

bool probeZipSignature(const String& address, std::chrono::milliseconds budget,
                       bool allowPrivateHosts) {
    // The probe goes without the link's user name and password, as an anonymous reader.
    String withoutCredentials(address);
    String user, password;
    splitCredentials(withoutCredentials, user, password);
    // A name that leads into the local network is not contacted either; as for an address
    // literal there, only the name can tell.
    if (!allowPrivateHosts && resolvesToPrivateAddress(hostOfAddress(withoutCredentials)))
        return address.right(3).equalsNoCase("zip");
    const String scheme = withoutCredentials.field("://", 1);
    if (scheme.equalsNoCase("http") || scheme.equalsNoCase("https"))
        return probeHttp(withoutCredentials.str(), budget);
    if (scheme.equalsNoCase("ftp"))
        return probeFtp(withoutCredentials, budget);
    return false;
}

} // namespace monitor
