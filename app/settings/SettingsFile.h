// One per-user settings file standing in for one registry root key. Keys are sections
// named by their sub-key path ("[Software\Brindlecot\Marrowglen Demo\Settings]"), values are
// "name=type:data" lines. Several processes (a viewer and a monitor) write the same file, so
// every change is made under a lock file on a fresh read of the file and lands by renaming a
// complete new file over the old one: readers never see half a file and no writer drops
// values another process wrote in between.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

// Value types, numbered as the registry numbers them.
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;

struct RegistryValue {
    uint32_t type = REG_BINARY;
    std::string data; // the value's bytes as stored
};

// Key and value names compare without regard to ASCII case, as registry names do.
struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

using RegistryValues = std::map<std::string, RegistryValue, NoCaseLess>;
using RegistryKeys = std::map<std::string, RegistryValues, NoCaseLess>;

class SettingsFile {
public:
    explicit SettingsFile(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    // Reads the whole file; a missing file is an empty store. False when the file exists but
    // cannot be read or exceeds the size ceiling.
    bool load(RegistryKeys& keys) const;

    // Applies `change` to a fresh read of the file and writes the result atomically, all
    // under the file's lock. `change` returns false to leave the file untouched. False when
    // the lock, the read or the write failed (nothing changed then).
    bool update(const std::function<bool(RegistryKeys&)>& change) const;

    // The text form and back; exposed for tests.
    static std::string serialize(const RegistryKeys& keys);
    static RegistryKeys parse(const std::string& text);

    // Larger files are not taken for a settings store.
    static constexpr int64_t MaxFileBytes = 4 * 1024 * 1024;

private:
    std::string path_;
};
