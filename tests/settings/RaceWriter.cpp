// Writes `rounds` values named <prefix><i> (and rewrites <prefix>last each round) into the
// key given, one open-write-close per round, as a second process would. Exit status 0 when
// every write succeeded.
#include "app/settings/RegistryKey.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s KEY PREFIX ROUNDS\n", argv[0]);
        return 2;
    }
    const std::string prefix = argv[2];
    const int rounds = std::atoi(argv[3]);
    int failures = 0;
    for (int i = 0; i < rounds; ++i) {
        RegistryKey key;
        const uint32_t value = static_cast<uint32_t>(i);
        if (!key.open(argv[1], true) ||
            !key.setValue((prefix + std::to_string(i)).c_str(), REG_DWORD, &value, 4) ||
            !key.setValue((prefix + "last").c_str(), REG_DWORD, &value, 4)) {
            ++failures;
        }
        key.close();
    }
    return failures == 0 ? 0 : 1;
}
