#include "app/settings/AddressHistory.h"

#include "app/settings/RegistryKey.h"

#include <algorithm>

namespace {

SettingsFile storeFile() {
    return SettingsFile(RegistryKey::storeFileFor(RegistryRoot::CurrentUser));
}

std::string valueName(std::size_t index) {
    return "url" + std::to_string(index + 1);
}

std::vector<std::string> listOf(const RegistryKeys& keys) {
    std::vector<std::string> list;
    const auto key = keys.find(AddressHistory::KeyPath);
    if (key == keys.end())
        return list;
    for (std::size_t i = 0; i < AddressHistory::Limit; ++i) {
        const auto value = key->second.find(valueName(i));
        if (value == key->second.end() || value->second.type != REG_SZ)
            break;
        if (!value->second.data.empty())
            list.push_back(value->second.data);
    }
    return list;
}

void store(RegistryKeys& keys, const std::vector<std::string>& list) {
    RegistryValues values;
    for (std::size_t i = 0; i < list.size(); ++i)
        values[valueName(i)] = RegistryValue{REG_SZ, list[i]};
    keys[AddressHistory::KeyPath] = std::move(values);
}

} // namespace

std::string AddressHistory::withoutCredentials(const std::string& address) {
    const auto scheme = address.find("://");
    if (scheme == std::string::npos)
        return address;
    const auto begin = scheme + 3;
    auto end = address.find_first_of("/?#", begin);
    if (end == std::string::npos)
        end = address.size();
    const auto at = address.rfind('@', end == 0 ? 0 : end - 1);
    if (at == std::string::npos || at < begin)
        return address;
    return address.substr(0, begin) + address.substr(at + 1);
}

std::vector<std::string> AddressHistory::load() {
    RegistryKeys keys;
    if (!storeFile().load(keys))
        return {};
    return listOf(keys);
}

std::vector<std::string> AddressHistory::remember(const std::string& address) {
    const std::string entry = withoutCredentials(address);
    std::vector<std::string> result;
    auto change = [&](RegistryKeys& keys) {
        result = listOf(keys);
        result.erase(std::remove(result.begin(), result.end(), entry), result.end());
        result.insert(result.begin(), entry);
        if (result.size() > Limit)
            result.resize(Limit);
        store(keys, result);
        return true;
    };
    if (!entry.empty() && !storeFile().update(change) && result.empty()) {
        // Not even readable: the list still shows this run's address.
        result.push_back(entry);
    }
    return result;
}

bool AddressHistory::clear() {
    return storeFile().update([](RegistryKeys& keys) {
        keys.erase(KeyPath);
        return true;
    });
}
