// Passwords for encrypted entries on the command line: from -P, from MARROWGLEN_PASSWORD, or
// asked on the terminal without echo.
#pragma once

#include <string>

class CZipArchive;
struct CliOptions;

// The environment variable that gives the password when -P does not.
inline constexpr const char* passwordVariable = "MARROWGLEN_PASSWORD";

// Gives the archive the password of -P or of the environment; without either, and when
// standard input is a terminal, lets the archive ask on the terminal (three tries per entry,
// an empty answer skips the entry).
void setUpPasswords(CZipArchive& archive, const CliOptions& options);
