// The user names and passwords that travel with HTTP requests, to the server and to the
// proxy, and how they are handed to libcurl. libcurl negotiates the scheme (Basic, Digest and
// whatever else the server and libcurl have in common); ~/.netrc names the server's user
// where none was given.
#pragma once

#include <string>
#include <vector>

struct HttpCredentials {
    std::string user;
    std::string password;
    std::string proxyUser;
    std::string proxyPassword;
    // The server the user name and password are for (lower case); empty: any. A request to
    // another host (the mirror a redirect led to) goes without them.
    std::string host;
    // The server (or the proxy) offered Basic alone: later requests send it at once, as the
    // curl tool does, instead of each first being refused to learn the scheme again.
    bool serverBasicOnly = false;
    bool proxyBasicOnly = false;

    bool hasServerLogin() const { return !user.empty(); }
    bool hasProxyLogin() const { return !proxyUser.empty(); }
};

// Sets the sign-in options of a request to `url` on a libcurl easy handle (CURL*). The
// strings are copied by libcurl, so `credentials` may change afterwards.
void applyHttpCredentials(void* easyHandle, const std::string& url,
                          const HttpCredentials& credentials, bool useNetrc);

// A status that libcurl may answer itself by repeating the request with credentials: the
// response that carries it is final only when no second request follows.
inline bool isSignInChallenge(long status) {
    return status == 401 || status == 407;
}

// True when every challenge in `headerValues` (of WWW-Authenticate or Proxy-Authenticate) is
// Basic, and there is one.
bool offersBasicOnly(const std::vector<std::string>& headerValues);

// The host of an http or https address, lower case; empty when there is none.
std::string httpHostOf(const std::string& url);
