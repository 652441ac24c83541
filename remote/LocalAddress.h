// Local files as addresses. A zip file on disk opens through the same engine as a remote one,
// named by a file:// address. What the user types counts as a local path when it starts with
// "/", "./", "../" or "~/", or when it has no "://" and names an existing regular file; it is
// then made absolute and written as file:///path, percent-encoded where the URL form needs it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// True when the scheme is "file" (any case).
bool isFileAddress(std::string_view address);

// The local path a file:// address names, percent-decoded; query and fragment dropped. Empty
// when the address is no file:// address, names another host than "localhost", or decodes to
// something that cannot be a path (no leading "/", a NUL byte).
std::optional<std::string> localPathOf(std::string_view address);

// file:// + the absolute path, with blanks, control bytes, "%", "?" and "#" percent-encoded.
std::string fileAddressOf(const std::string& absolutePath);

// The file:// address for typed text that is a local path (see above); empty otherwise.
// "~/" stands for $HOME; relative paths are taken from the current folder, and "." and ".."
// segments are resolved by name.
std::optional<std::string> localFileAddress(const std::string& typed);
