// The address helpers fed any text: normalisation, credentials taken out and put back, and
// the server and path parts. Checks the rules that must hold for every input.
#include "remote/Address.h"

#include <cstdint>
#include <string>

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Addresses are texts: a NUL ends them.
    std::string input(reinterpret_cast<const char*>(data), size);
    input = input.substr(0, input.find('\0'));

    String address(input);
    normalizeAddress(address);
    const std::string normal = address.str();
    check(normal.find("://") != std::string::npos);

    String user;
    String password;
    String bare(address);
    splitCredentials(bare, user, password);
    check(bare.length() <= address.length());

    // Credentials put into an address without them come back out unchanged.
    String withCredentials(bare);
    if (user.str().find('\0') == std::string::npos) {
        insertCredentials(withCredentials, user, password);
        String user2;
        String password2;
        String again(withCredentials);
        splitCredentials(again, user2, password2);
        if (bare.str().find('@') == std::string::npos) {
            check(again.str() == bare.str());
            check(user2.str() == user.str() && password2.str() == password.str());
        }
    }

    const String server = serverPart(bare);
    const String path = pathPart(bare);
    check(server.length() >= 3);
    if (startsWith(bare.str(), server.str()))
        check(server.str() + path.str() == bare.str());
    (void)fileNameFromUrl(normal);
    return 0;
}
