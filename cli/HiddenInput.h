// Reading a secret from the terminal: the password questions of -u/-U and of encrypted
// entries share it.
#pragma once

#include <optional>
#include <string>

// Turns echo off, then writes `prompt` to `tty` and reads one line. Echo goes off before
// the prompt shows, so an answer typed as soon as the prompt appears is neither echoed nor
// flushed away; the terminal's settings come back on every way out. Nothing when the line
// could not be read or Ctrl+C was pressed.
std::optional<std::string> readHidden(int tty, const std::string& prompt);
