// What the extract job is asked to do: which entries, where to, and how.
#pragma once

#include "app/String.h"

#include <vector>

struct ExtractRequest {
    // Entry names as the list shows them ("/" between folders).
    std::vector<String> names;
    // The destination folder, or the output file itself when `destinationIsFile` is set.
    String destination;
    // Afterwards open each file written in this run with the desktop's default program.
    bool openAfterExtract = false;
    // Replace existing files without asking; set by the job on "Yes to all".
    bool overwriteAll = false;
    // `destination` names the output file (extract under a new name); no question is asked.
    bool destinationIsFile = false;
    // Show "Extraction complete!" when every entry was written; failures are shown always.
    bool announceCompletion = true;
};
