#include "app/settings/ProgramSettings.h"

#include <QDir>
#include <QString>
#include <QtGlobal>

#include <unistd.h>

namespace {

String cacheTemporaryFolder() {
    const QString fromEnvironment = qEnvironmentVariable("XDG_CACHE_HOME");
    const QString cache = !fromEnvironment.isEmpty() && QDir::isAbsolutePath(fromEnvironment)
                              ? fromEnvironment
                              : QDir::homePath() + "/.cache";
    return String((cache + "/marrowglen/Tmp").toStdString());
}

// True when `folder` does not exist yet and its parent folder lets us make it.
bool canBeMade(const String& folder) {
    if (folderExists(folder, false)) {
        return false;
    }
    String parent(folder);
    if (!parent.cutAtLast("/") || parent.isEmpty()) {
        return false;
    }
    return folderExists(parent, true) && ::access(parent.text(), W_OK) == 0;
}

// Previews are written there, so an existing folder must take files as well.
bool isUsable(const String& folder) {
    return folderExists(folder, true) && ::access(folder.text(), W_OK) == 0;
}

// An installed program lives in the system's tree (/usr/bin, /bin, /opt/...): a folder made
// there, even by root, belongs to no package and outlives an uninstall.
bool inSystemTree(const String& folder) {
    for (const char* prefix : {"/usr/", "/bin/", "/sbin/", "/lib/", "/opt/"}) {
        if (folder.find(prefix) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

String chooseTemporaryFolder(const String& besideProgram, const String& inCache) {
    if (inSystemTree(besideProgram)) {
        return inCache;
    }
    if (isUsable(besideProgram) || canBeMade(besideProgram)) {
        return besideProgram;
    }
    return inCache;
}

String defaultTemporaryFolder() {
    String besideProgram("Tmp");
    besideProgram.makeProgramRelative();
    return chooseTemporaryFolder(besideProgram, cacheTemporaryFolder());
}
