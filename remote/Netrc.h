// ~/.netrc: the user names and passwords a user keeps for the servers they sign in to, as
// ftp and curl read it. Used for ftp addresses that name no user (libcurl reads it itself
// for http and https).
#pragma once

#include <optional>
#include <string>

struct NetrcLogin {
    std::string login;
    std::string password;
};

// The entry for `host` in the text of a netrc file: the first "machine" entry naming it, else
// the "default" entry. With `user` given, only an entry with that login answers. Nothing
// when no entry fits. "macdef" bodies are skipped; a token may be quoted ("a b").
std::optional<NetrcLogin> findNetrcLogin(const std::string& text, const std::string& host,
                                         const std::string& user = {});

// The same, from $HOME/.netrc; nothing when there is no such file.
std::optional<NetrcLogin> netrcLoginFor(const std::string& host, const std::string& user = {});
