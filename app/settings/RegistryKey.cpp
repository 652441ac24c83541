#include "app/settings/RegistryKey.h"

#include <QDir>
#include <QString>
#include <QtGlobal>

#include <array>
#include <cstring>
#include <strings.h>
#include <utility>

namespace {

const std::array<std::pair<const char*, RegistryRoot>, 7> RootNames = {{
    {"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
    {"HKEY_CURRENT_CONFIG", RegistryRoot::CurrentConfig},
    {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
    {"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
    {"HKEY_USERS", RegistryRoot::Users},
    {"HKEY_PERFORMANCE_DATA", RegistryRoot::PerformanceData},
    {"HKEY_DYN_DATA", RegistryRoot::DynData},
}};

const char* rootName(RegistryRoot root) {
    for (const auto& [name, value] : RootNames) {
        if (value == root) {
            return name;
        }
    }
    return "HKEY_CURRENT_USER";
}

QString configFolder() {
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG rules say.
    const QString fromEnvironment = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!fromEnvironment.isEmpty() && QDir::isAbsolutePath(fromEnvironment)) {
        return fromEnvironment;
    }
    return QDir::homePath() + "/.config";
}

SettingsFile storeFile(RegistryRoot root) {
    return SettingsFile(RegistryKey::storeFileFor(root));
}

} // namespace

std::optional<RegistryRoot> RegistryKey::rootFromName(const std::string& name) {
    for (const auto& [text, root] : RootNames) {
        if (name == text) {
            return root;
        }
    }
    return std::nullopt;
}

std::string RegistryKey::storeFileFor(RegistryRoot root) {
    return (configFolder() + "/marrowglen/" + rootName(root) + ".ini").toStdString();
}

bool RegistryKey::parsePath(const char* path) {
    const std::string text = path ? path : "";
    const size_t separator = text.find('\\');
    const std::string name = text.substr(0, separator);
    subKey_ = separator == std::string::npos ? std::string() : text.substr(separator + 1);
    root_ = rootFromName(name);
    return root_.has_value() && subKey_.size() <= MaxSubKeyChars;
}

bool RegistryKey::keyExists(const RegistryKeys& keys) const {
    if (subKey_.empty() || keys.count(subKey_) > 0) {
        return true;
    }
    // A key that only holds sub-keys exists too.
    const std::string prefix = subKey_ + "\\";
    const auto next = keys.lower_bound(prefix);
    return next != keys.end() &&
           strncasecmp(next->first.c_str(), prefix.c_str(), prefix.size()) == 0;
}

bool RegistryKey::open(const char* path, bool create) {
    open_ = false;
    if (!parsePath(path)) {
        return false;
    }
    const SettingsFile file = storeFile(*root_);
    RegistryKeys keys;
    if (!file.load(keys)) {
        return false;
    }
    if (!keyExists(keys)) {
        if (!create) {
            return false;
        }
        const std::string subKey = subKey_;
        const bool made = file.update([&subKey](RegistryKeys& fresh) {
            if (fresh.count(subKey) > 0) {
                return false;
            }
            fresh[subKey];
            return true;
        });
        if (!made) {
            return false;
        }
    }
    open_ = true;
    return true;
}

bool RegistryKey::queryValue(const char* name, uint32_t* type, void* buffer, uint32_t* size) const {
    if (!open_ || !name) {
        return false;
    }
    RegistryKeys keys;
    if (!storeFile(*root_).load(keys)) {
        return false;
    }
    const auto key = keys.find(subKey_);
    if (key == keys.end()) {
        return false;
    }
    const auto value = key->second.find(name);
    if (value == key->second.end()) {
        return false;
    }
    const std::string& data = value->second.data;
    const uint32_t needed = static_cast<uint32_t>(data.size());
    if (type) {
        *type = value->second.type;
    }
    if (buffer) {
        if (!size || *size < needed) {
            if (size) {
                *size = needed;
            }
            return false;
        }
        std::memcpy(buffer, data.data(), data.size());
    }
    if (size) {
        *size = needed;
    }
    return true;
}

bool RegistryKey::setValue(const char* name, uint32_t type, const void* data, uint32_t size) {
    if (!open_ || !name || (!data && size > 0)) {
        return false;
    }
    const std::string subKey = subKey_;
    RegistryValue value{type, size > 0 ? std::string(static_cast<const char*>(data), size) : ""};
    return storeFile(*root_).update([&](RegistryKeys& keys) {
        keys[subKey][name] = value;
        return true;
    });
}

bool RegistryKey::close() {
    const bool wasOpen = open_;
    open_ = false;
    return wasOpen;
}
