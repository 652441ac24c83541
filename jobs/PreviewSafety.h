// Opening a file with the desktop may run it: a program, a script or a desktop entry. Previewed
// files therefore lose every execute bit, and such files are opened only after the user has
// confirmed it (the question defaults to No).
#pragma once

#include <string>

namespace previewsafety {

// Clears the execute bits of a regular file. False when the mode could not be changed.
bool removeExecutePermission(const std::string& path);
// True when the desktop might run the file instead of showing it: an execute bit (as the
// archive stored it, so ask before `removeExecutePermission`), its first bytes (ELF, "MZ",
// "#!", a desktop entry) or a name that launchers run by association (.desktop, .jar, .exe).
bool mayRunWhenOpened(const std::string& path);

} // namespace previewsafety
