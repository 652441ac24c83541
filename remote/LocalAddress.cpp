#include "remote/LocalAddress.h"

#include "remote/Address.h"

#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

std::string currentFolder() {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (buffer.size() > (1u << 20))
            return "/";
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

// "/a/./b/../c" gives "/a/c". By name only: a symbolic link is not followed, as a shell's
// "cd" would not either.
std::string resolveDots(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string part = path.substr(start, slash - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string result;
    for (const auto& part : parts)
        result += "/" + part;
    return result.empty() ? "/" : result;
}

bool looksLikePath(const std::string& typed) {
    for (const char* prefix : {"/", "./", "../", "~/"})
        if (typed.rfind(prefix, 0) == 0)
            return true;
    return false;
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

bool isFileAddress(std::string_view address) {
    return startsWithNoCase(address, "file://");
}

std::optional<std::string> localPathOf(std::string_view address) {
    if (!isFileAddress(address))
        return std::nullopt;
    std::string_view rest = address.substr(7);
    rest = rest.substr(0, rest.find('#'));
    rest = rest.substr(0, rest.find('?'));
    if (startsWithNoCase(rest, "localhost/"))
        rest.remove_prefix(9);
    if (rest.empty() || rest[0] != '/')
        return std::nullopt; // another host's file, or no path at all
    std::string path = percentDecode(rest);
    if (path.find('\0') != std::string::npos)
        return std::nullopt;
    return path;
}

std::string fileAddressOf(const std::string& absolutePath) {
    return "file://" + percentEncode(absolutePath, "%?#", false);
}

std::optional<std::string> localFileAddress(const std::string& typed) {
    if (typed.empty() || typed.find("://") != std::string::npos)
        return std::nullopt;
    if (!looksLikePath(typed) && !isRegularFile(typed))
        return std::nullopt;
    std::string path;
    if (typed.rfind("~/", 0) == 0)
        path = homeFolder() + typed.substr(1);
    else if (typed[0] == '/')
        path = typed;
    else
        path = currentFolder() + "/" + typed;
    return fileAddressOf(resolveDots(path));
}
