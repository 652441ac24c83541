// Standard output of the commands. When the reader goes away (`cat URL name | head`), the
// command stops and the program ends quietly, as other tools do on a closed pipe.
#pragma once

#include <cstddef>
#include <string>

// False when the bytes could not be written; see outputClosed.
bool writeOut(const void* data, std::size_t n);
bool writeOut(const std::string& text);
bool flushOut();
// Flushes when the last flush is 100 ms old: a reader at the other end of a pipe sees lines
// as they come without a write per line (65,535 entries made 65,535 system calls).
bool flushOutSoon();
// True once a write failed because nobody reads standard output any more.
bool outputClosed();

// The status for a program whose reader went away: what a shell shows for a tool ended by
// SIGPIPE, so `set -o pipefail` scripts see the same as with other tools.
constexpr int closedOutputStatus = 128 + 13;
