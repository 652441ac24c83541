#include "app/settings/ProgramSettings.h"

#include "app/settings/RegistryKey.h"

namespace {

// The stored forms of the two flags: 2 is true, 1 is false, 0 (or nothing) the default.
constexpr uint32_t StoredTrue = 2;
constexpr uint32_t StoredFalse = 1;

// Reads a 32-bit value over `target` as the registry does: a missing value, or one longer
// than four bytes, leaves `target` as it was. The stored type is not examined.
void readNumber(const RegistryKey& key, const char* name, void* target) {
    uint32_t type = REG_DWORD;
    uint32_t size = 4;
    key.queryValue(name, &type, target, &size);
}

bool readFlag(const RegistryKey& key, const char* name, bool fallback) {
    uint32_t stored = 0;
    readNumber(key, name, &stored);
    if (stored == 0) {
        return fallback;
    }
    return stored != StoredFalse;
}

String readFolder(const RegistryKey& key, const char* name, const String& fallback) {
    // The registry's limit: 1,023 bytes. A longer value (the read fails) counts as empty
    // rather than being cut short or read past the buffer.
    char buffer[1024] = {};
    uint32_t type = REG_SZ;
    uint32_t size = sizeof buffer - 1;
    if (!key.queryValue(name, &type, buffer, &size) || size >= sizeof buffer) {
        size = 0;
    }
    buffer[size] = '\0';
    return buffer[0] != '\0' ? String(buffer) : fallback;
}

void writeNumber(RegistryKey& key, const char* name, uint32_t value) {
    key.setValue(name, REG_DWORD, &value, sizeof value);
}

} // namespace

ProgramSettings::ProgramSettings()
    : settingsPath("HKEY_CURRENT_USER\\Software\\Brindlecot\\Marrowglen Demo\\Settings") {}

void ProgramSettings::setDefaults() {
    tmpFolder = defaultTemporaryFolder();
    openWhenDone = false;
    winzipRate = true;
    monitorMode = MonitorNotify;
    viewMode = 1;
    sortMode = 6;
}

bool ProgramSettings::loadSettings() {
    RegistryKey key;
    if (!key.open(settingsPath.text(), false)) {
        setDefaults();
        return true;
    }
    ProgramSettings defaults;
    defaults.setDefaults();

    tmpFolder = readFolder(key, "tmpfolder", defaults.tmpFolder);
    openWhenDone = readFlag(key, "openwhendone", defaults.openWhenDone);
    winzipRate = readFlag(key, "winziprate", defaults.winzipRate);
    readNumber(key, "monitor", &monitorMode); // a missing value keeps what the member held
    if (monitorMode == 0) {
        monitorMode = defaults.monitorMode;
    }
    viewMode = -1;
    readNumber(key, "view", &viewMode);
    if (viewMode == -1) {
        viewMode = defaults.viewMode;
    }
    sortMode = 0;
    readNumber(key, "sorting", &sortMode);
    if (sortMode == 0) {
        sortMode = defaults.sortMode;
    }
    key.close();
    return true;
}

bool ProgramSettings::saveSettings() {
    RegistryKey key;
    if (!key.open(settingsPath.text(), true)) {
        return false;
    }
    key.setValue("tmpfolder", REG_SZ, tmpFolder.text(), static_cast<uint32_t>(tmpFolder.length()));
    writeNumber(key, "openwhendone", openWhenDone ? StoredTrue : StoredFalse);
    writeNumber(key, "winziprate", winzipRate ? StoredTrue : StoredFalse);
    writeNumber(key, "monitor", static_cast<uint32_t>(monitorMode));
    writeNumber(key, "view", static_cast<uint32_t>(viewMode));
    writeNumber(key, "sorting", static_cast<uint32_t>(sortMode));
    key.close();
    return true;
}

int32_t ProgramSettings::reloadMonitorMode() {
    RegistryKey key;
    if (!key.open(settingsPath.text(), false)) {
        // Only the mode falls back: the folder, view and sort chosen in this run but not yet
        // saved must survive a look at the other process's mode.
        monitorMode = MonitorNotify;
        return monitorMode;
    }
    readNumber(key, "monitor", &monitorMode);
    if (monitorMode == 0) {
        monitorMode = MonitorNotify;
    }
    key.close();
    return monitorMode;
}

void ProgramSettings::ensureTemporaryFolder() {
    createFolderPath(nullptr, tmpFolder.text());
    if (!folderExists(tmpFolder, true)) {
        tmpFolder = defaultTemporaryFolder();
        createFolderPath(nullptr, tmpFolder.text());
    }
}

ProgramSettings& programSettings() {
    static ProgramSettings settings;
    return settings;
}
