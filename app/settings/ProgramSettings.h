// The six user settings, one record for the whole process, kept under the registry-style key
// HKEY_CURRENT_USER\Software\Brindlecot\Marrowglen Demo\Settings (see RegistryKey.h for where
// that lives on disk). Other parts read and write the members directly; the record only
// loads and saves them.
#pragma once

#include "app/String.h"

#include <cstdint>

class ProgramSettings {
public:
    // Clipboard monitor modes.
    static constexpr int32_t MonitorOff = 1;
    static constexpr int32_t MonitorOpenAtOnce = 2;
    static constexpr int32_t MonitorNotify = 3;

    ProgramSettings();

    void setDefaults();
    // True also when the key is missing (the defaults are taken then).
    bool loadSettings();
    // True when the key could be opened or created.
    bool saveSettings();
    // The other process may have changed the mode: read it again. Returns the mode.
    int32_t reloadMonitorMode();
    // Start-up's check: makes `tmpFolder` when missing; a folder that still cannot be entered
    // is replaced by the default temporary folder, which is made too.
    void ensureTemporaryFolder();

    String settingsPath;
    String tmpFolder;
    bool openWhenDone = false;
    bool winzipRate = false;
    int32_t monitorMode = 0;
    int32_t viewMode = 0;
    int32_t sortMode = 0;
};

// The process's one settings record.
ProgramSettings& programSettings();

// The default folder for temporary files: "Tmp" beside the executable when it exists and
// can be entered or can be made there; otherwise $XDG_CACHE_HOME/marrowglen/Tmp (an installed
// program's folder is not writable). Nothing is created by asking.
String defaultTemporaryFolder();
// The same choice between two given folders; exposed for tests.
String chooseTemporaryFolder(const String& besideProgram, const String& inCache);
