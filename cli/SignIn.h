// User names and passwords for marrowglen-cli: -u USER[:PASSWORD] for the server and
// -U USER[:PASSWORD] for the proxy, as the curl tool takes them. Without ":PASSWORD" the
// password is asked for on the terminal, without echo. They are never printed.
#pragma once

#include <optional>
#include <string>

struct Login {
    std::string user;
    std::string password;
};

struct SignIn {
    std::optional<Login> server;
    std::optional<Login> proxy;
};

// Splits "USER[:PASSWORD]" at the first ":". Without one the password is asked for on the
// terminal ("Enter host password for user 'USER':"); `what` is "host" or "proxy". Empty with
// `error` set when there is no terminal to ask on or the question was abandoned.
std::optional<Login> takeLogin(const std::string& spec, const char* what, std::string& error);

// Reads one line from the controlling terminal with echo off, after writing `prompt` there.
// Empty when the process has no terminal or the reading was interrupted.
std::optional<std::string> askOnTerminal(const std::string& prompt);
