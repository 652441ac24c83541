// Whether copied text is a link to a zip archive on an http, https or ftp server.
#pragma once

#include "app/String.h"

#include <chrono>
#include <functional>

namespace monitor {

// Reads the first four bytes of the remote file within `budget`; true when they are the zip
// local-header signature. May throw: a thrown probe makes the link not a zip link.
using SignatureProbe = std::function<bool(const String& address, std::chrono::milliseconds)>;

enum class LinkVerdict {
    NotALink,    // no http, https or ftp address
    NeedsProbe,  // the file's first bytes decide, whatever its name (a dead link is no zip)
    ZipByName,   // a host we must not reach, and a name ending in "zip": taken by the name
    PrivateHost, // a host we must not reach, and any other name
};

// The steps that need no network: scheme, syntax, where the host is, and (for hosts that are
// never contacted) the name.
// `allowPrivateHosts` lets tests probe servers on loopback.
LinkVerdict classifyLink(const String& text, bool allowPrivateHosts = false);

// The whole test, probe included (run where blocking is allowed). The probe decides also for
// names ending in "zip", so that a link to a missing file is not announced.
bool isZipLink(const String& text, const SignatureProbe& probe,
               std::chrono::milliseconds budget = std::chrono::seconds(4),
               bool allowPrivateHosts = false);

// The real probe: http and https through the HTTP client (a ranged GET for the first four
// bytes, no redirects followed), ftp through the own FTP client (anonymous, four bytes).
// Host names that resolve to private addresses are not contacted unless allowed; for them the
// name decides, as `classifyLink` does for private address literals.
bool probeZipSignature(const String& address, std::chrono::milliseconds budget,
                       bool allowPrivateHosts = false);

// True for "localhost" and loopback, link-local, private-range, unspecified and multicast
// address literals (IPv4 in any inet_aton spelling, IPv6 in brackets or bare).
bool isPrivateHostLiteral(const std::string& host);
// True when the host is private by its literal or when any address it resolves to is.
bool resolvesToPrivateAddress(const std::string& host);

// The host of an address without credentials and port ("[::1]" gives "::1").
std::string hostOfAddress(const String& address);

// Text that a password manager marked as secret is never looked at.
constexpr const char* kPasswordManagerHintFormat = "x-kde-passwordManagerHint";

} // namespace monitor
