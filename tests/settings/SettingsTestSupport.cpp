#include "SettingsTestSupport.h"

#include "app/settings/RegistryKey.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

void PrivateSettingsFolder::SetUp() {
    char pattern[] = "/tmp/mg_settings_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root_ + "/cache").c_str(), 1);
}

void PrivateSettingsFolder::TearDown() {
    std::system(("rm -rf '" + root_ + "'").c_str());
}

std::string PrivateSettingsFolder::storeFile() const {
    return RegistryKey::storeFileFor(RegistryRoot::CurrentUser);
}

void PrivateSettingsFolder::writeStore(const std::string& text) const {
    mkdir((root_ + "/config").c_str(), 0700);
    mkdir((root_ + "/config/marrowglen").c_str(), 0700);
    std::ofstream(storeFile(), std::ios::binary) << text;
}

std::string PrivateSettingsFolder::readStore() const {
    std::ifstream in(storeFile(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
