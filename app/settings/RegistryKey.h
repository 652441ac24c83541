// A registry key by its textual path ("HKEY_CURRENT_USER\Software\..."), kept in the
// per-user settings files. Each root key is one file, $XDG_CONFIG_HOME/marrowglen/<root>.ini
// (~/.config when XDG_CONFIG_HOME is unset), and each sub-key path one section of it. The
// root names are matched exactly, case included, as the program always spells them.
#pragma once

#include "app/settings/SettingsFile.h"

#include <cstdint>
#include <optional>
#include <string>

enum class RegistryRoot {
    ClassesRoot,
    CurrentConfig,
    CurrentUser,
    LocalMachine,
    Users,
    PerformanceData,
    DynData,
};

class RegistryKey {
public:
    // Longest sub-key path taken.
    static constexpr size_t MaxSubKeyChars = 2051;

    // The root for a root name of the table; none for any other text.
    static std::optional<RegistryRoot> rootFromName(const std::string& name);
    // The file that holds a root key's keys.
    static std::string storeFileFor(RegistryRoot root);

    // Splits at the first "\": root name before, sub-key path after.
    bool parsePath(const char* path);
    // Opens the key; with `create` a missing key (and its file) is made. True when open.
    bool open(const char* path, bool create);
    // Reads a value as the registry does: with no buffer only the size is told; a buffer
    // smaller than the data fails with `size` set to what is needed.
    bool queryValue(const char* name, uint32_t* type, void* buffer, uint32_t* size) const;
    bool setValue(const char* name, uint32_t type, const void* data, uint32_t size);
    bool close();

    bool isOpen() const { return open_; }
    const std::string& subKeyPath() const { return subKey_; }
    std::optional<RegistryRoot> root() const { return root_; }

private:
    bool keyExists(const RegistryKeys& keys) const;

    std::string subKey_;
    std::optional<RegistryRoot> root_;
    bool open_ = false;
};
