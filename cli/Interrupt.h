// Ctrl+C stops the running command at its next check, so that partial files are removed and
// nothing is reported as complete.
#pragma once

void installInterruptHandler();
bool interrupted();
