#include "monitor/ZipLink.h"

#include "platform/HttpClient.h"
#include "remote/Address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

namespace monitor {

namespace {

bool isPrivateIpv4(uint32_t hostOrder) {
    const auto in = [hostOrder](uint32_t net, int bits) {
        const uint32_t mask = bits == 0 ? 0 : ~uint32_t{0} << (32 - bits);
        return (hostOrder & mask) == net;
    };
    return in(0x00000000, 8) || in(0x0A000000, 8) || in(0x64400000, 10) || in(0x7F000000, 8) ||
           in(0xA9FE0000, 16) || in(0xAC100000, 12) || in(0xC0A80000, 16) ||
           in(0xE0000000, 3); // multicast, reserved and broadcast
}

bool isPrivateIpv6(const in6_addr& address) {
    const uint8_t* b = address.s6_addr;
    if (IN6_IS_ADDR_UNSPECIFIED(&address) || IN6_IS_ADDR_LOOPBACK(&address))
        return true;
    if (IN6_IS_ADDR_V4MAPPED(&address) || IN6_IS_ADDR_V4COMPAT(&address)) {
        uint32_t v4;
        std::memcpy(&v4, b + 12, 4);
        return isPrivateIpv4(ntohl(v4));
    }
    return (b[0] & 0xFE) == 0xFC                      // unique local fc00::/7
           || (b[0] == 0xFE && (b[1] & 0xC0) == 0x80) // link-local fe80::/10
           || b[0] == 0xFF;                           // multicast
}

bool isPrivateSocketAddress(const sockaddr* address) {
    if (address->sa_family == AF_INET)
        return isPrivateIpv4(ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr));
    if (address->sa_family == AF_INET6)
        return isPrivateIpv6(reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr);
    return true; // nothing else is a server on the internet
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

} // namespace

std::string hostOfAddress(const String& address) {
    String withoutCredentials(address);
    String user, password;
    splitCredentials(withoutCredentials, user, password);
    std::string host = serverPart(withoutCredentials).field("://", 2).str();
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        host = host.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else if (std::count(host.begin(), host.end(), ':') == 1) {
        host = host.substr(0, host.find(':'));
    }
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    while (!host.empty() && host.back() == '.')
        host.pop_back();
    return host;
}

bool isPrivateHostLiteral(const std::string& host) {
    if (host.empty() || host == "localhost" || endsWith(host, ".localhost"))
        return true;
    in_addr v4{};
    if (inet_aton(host.c_str(), &v4) != 0)
        return isPrivateIpv4(ntohl(v4.s_addr));
    in6_addr v6{};
    const std::string bare = host.substr(0, host.find('%')); // zone index: link-local anyway
    if (inet_pton(AF_INET6, bare.c_str(), &v6) == 1)
        return isPrivateIpv6(v6) || bare.size() != host.size();
    return false;
}

bool resolvesToPrivateAddress(const std::string& host) {
    if (isPrivateHostLiteral(host))
        return true;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return false; // unknown names reach nobody; the probe fails on its own
    std::unique_ptr<addrinfo, AddrInfoDeleter> list(found);
    for (const addrinfo* entry = list.get(); entry; entry = entry->ai_next)
        if (isPrivateSocketAddress(entry->ai_addr))
            return true;
    return false;
}

LinkVerdict classifyLink(const String& text, bool allowPrivateHosts) {
    if (text.count("://") == 0)
        return LinkVerdict::NotALink;
    const String scheme = text.field("://", 1);
    if (!scheme.equalsNoCase("https") && !scheme.equalsNoCase("http") &&
        !scheme.equalsNoCase("ftp"))
        return LinkVerdict::NotALink;
    String normalised(text);
    normalizeAddress(normalised);
    if (!isValidUrl(normalised.str()))
        return LinkVerdict::NotALink;
    if (allowPrivateHosts || !isPrivateHostLiteral(hostOfAddress(text)))
        return LinkVerdict::NeedsProbe;
    // A host on this machine or the local network is never contacted on a mere copy, so only
    // the name can tell: its last three characters (no dot needed, a query string defeats it).
    return text.right(3).equalsNoCase("zip") ? LinkVerdict::ZipByName : LinkVerdict::PrivateHost;
}

bool isZipLink(const String& text, const SignatureProbe& probe, std::chrono::milliseconds budget,
               bool allowPrivateHosts) {
    switch (classifyLink(text, allowPrivateHosts)) {
    case LinkVerdict::ZipByName:
        return true;
    case LinkVerdict::NeedsProbe:
        break;
    default:
        return false;
    }
    try {
        return probe && probe(text, budget);
    } catch (...) {
        return false;
    }
}

} // namespace monitor
