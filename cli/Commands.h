// The commands of marrowglen-cli. Each returns the process's exit status.
#pragma once

#include "cli/CliOptions.h"

#include <string>

namespace exitcode {
constexpr int success = 0;
constexpr int someFailed = 1;
constexpr int usage = 2;
constexpr int cannotOpen = 3;
constexpr int interrupted = 130;
} // namespace exitcode

int runList(const CliOptions& options);
int runTest(const CliOptions& options);
int runExtract(const CliOptions& options);
int runCat(const CliOptions& options);
int runSave(const CliOptions& options);

// "marrowglen-cli: text" on standard error, unless an interrupt caused it. Callers escape the
// untrusted names they quote.
void fail(const std::string& text);

// The whole command line: parses, dispatches, reports usage errors.
int runCli(int argc, char** argv);
