// What the program asks of the desktop: open a local file with its default program, and the
// type name and icon of a file by its name. Plain interfaces so that the jobs need no GUI
// library and tests can record the calls; the Qt implementations live in platform/qt/.
#pragma once

#include <string>

class IDesktopOpener {
public:
    virtual ~IDesktopOpener() = default;
    // Opens the local file with the desktop's default program for its type. Safe to call from
    // any thread. False when the desktop refused.
    virtual bool openLocalFile(const std::string& path) = 0;
};

struct FileTypeInfo {
    std::string typeName; // e.g. "Zip archive"; empty when the desktop knows none
    std::string iconKey;  // what the icon is looked up by (a MIME type name)
};

class IFileTypeLookup {
public:
    virtual ~IFileTypeLookup() = default;
    // By name alone (no file is read or made). Safe to call from any thread.
    virtual FileTypeInfo lookup(const std::string& fileName) = 0;
};
