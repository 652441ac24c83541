// Empties the temporary folder: every file and folder inside it goes, the folder itself stays.
// Symbolic links are removed as links; what they point to is never touched, so a link inside
// the folder cannot lead the cleaning anywhere outside it.
#pragma once

#include <string>

// Returns the number of files, links and folders that could not be removed.
int clearFolderContents(const std::string& folder);
