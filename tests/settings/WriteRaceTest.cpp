// A viewer and a monitor write the same settings file. Two writer processes and this one
// write different values at the same time; afterwards every value must be there, and a
// reader must never have seen a half-written or shrunken store.
#include "SettingsTestSupport.h"

#include "app/settings/RegistryKey.h"

#include <chrono>
#include <csignal>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

const char* const RaceKey = "HKEY_CURRENT_USER\\Software\\Brindlecot\\Marrowglen Demo\\Race";
constexpr int Rounds = 150;

pid_t startWriter(const std::string& prefix) {
    const std::string rounds = std::to_string(Rounds);
    const char* argv[] = {MG_RACE_WRITER, RaceKey, prefix.c_str(), rounds.c_str(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, MG_RACE_WRITER, nullptr, nullptr, const_cast<char**>(argv), environ) !=
        0) {
        return -1;
    }
    return pid;
}

// Waits at most `limit` for the child; kills it when it takes longer.
int waitForExit(pid_t pid, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        usleep(2000);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

size_t valuesNow() {
    RegistryKeys keys;
    if (!SettingsFile(RegistryKey::storeFileFor(RegistryRoot::CurrentUser)).load(keys)) {
        return 0;
    }
    const auto key = keys.find("Software\\Brindlecot\\Marrowglen Demo\\Race");
    return key == keys.end() ? 0 : key->second.size();
}

using SettingsWriteRace = PrivateSettingsFolder;

TEST_F(SettingsWriteRace, TwoProcessesAndThisOneLoseNothing) {
    const pid_t viewer = startWriter("viewer");
    const pid_t monitor = startWriter("monitor");
    ASSERT_GT(viewer, 0);
    ASSERT_GT(monitor, 0);

    // Write from here too, and watch that the store only ever grows.
    size_t seen = 0;
    int shrinks = 0;
    for (int i = 0; i < Rounds; ++i) {
        RegistryKey key;
        const uint32_t value = static_cast<uint32_t>(i);
        ASSERT_TRUE(key.open(RaceKey, true));
        ASSERT_TRUE(key.setValue(("self" + std::to_string(i)).c_str(), REG_DWORD, &value, 4));
        const size_t now = valuesNow();
        shrinks += now < seen ? 1 : 0;
        seen = now;
    }
    EXPECT_EQ(waitForExit(viewer, std::chrono::seconds(60)), 0);
    EXPECT_EQ(waitForExit(monitor, std::chrono::seconds(60)), 0);
    EXPECT_EQ(shrinks, 0);

    RegistryKey key;
    ASSERT_TRUE(key.open(RaceKey, false));
    for (const char* prefix : {"viewer", "monitor", "self"}) {
        int missing = 0;
        for (int i = 0; i < Rounds; ++i) {
            uint32_t value = 0xffffffff;
            uint32_t size = 4;
            const std::string name = prefix + std::to_string(i);
            if (!key.queryValue(name.c_str(), nullptr, &value, &size) ||
                value != static_cast<uint32_t>(i)) {
                ++missing;
            }
        }
        EXPECT_EQ(missing, 0) << prefix;
    }
    for (const char* last : {"viewerlast", "monitorlast"}) {
        uint32_t value = 0;
        uint32_t size = 4;
        ASSERT_TRUE(key.queryValue(last, nullptr, &value, &size));
        EXPECT_EQ(value, static_cast<uint32_t>(Rounds - 1)) << last;
    }
    EXPECT_EQ(valuesNow(), static_cast<size_t>(3 * Rounds + 2));
}

} // namespace
