// Opens local files with the desktop's default program (xdg-open underneath). Calls from a
// worker thread are carried over to the application's thread and wait for the answer.
#pragma once

#include "platform/DesktopServices.h"

class QtDesktopOpener : public IDesktopOpener {
public:
    bool openLocalFile(const std::string& path) override;
};
