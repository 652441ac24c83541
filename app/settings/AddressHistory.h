// The addresses the viewer opened last, newest first, kept with the other settings under
// HKEY_CURRENT_USER\Software\Brindlecot\Marrowglen Demo\Address History as the text values
// "url1" (newest) to "url20". Addresses are stored without "user:password@": a password never
// reaches the settings file. Every change is made on a fresh read of the file, so two viewers
// add to one list instead of overwriting each other's.
#pragma once

#include <string>
#include <vector>

class AddressHistory {
public:
    static constexpr std::size_t Limit = 20;
    static constexpr const char* KeyPath = "Software\\Brindlecot\\Marrowglen Demo\\Address History";

    // The stored list; empty when there is none or the file cannot be read.
    static std::vector<std::string> load();
    // Puts `address` (credentials removed) first, drops an older copy of it and what lies
    // beyond the limit, and stores the list. Returns the new list; when the file cannot be
    // written, the list as it would have been.
    static std::vector<std::string> remember(const std::string& address);
    // Empties the stored list.
    static bool clear();

    // The address without "user:password@" (or "user@") in its server part.
    static std::string withoutCredentials(const std::string& address);
};
