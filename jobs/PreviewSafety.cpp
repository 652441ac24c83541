#include "jobs/PreviewSafety.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <string_view>
#include <sys/stat.h>

namespace {

// Names that the desktop hands to a program runner whatever the bytes inside: desktop
// entries, Java archives and Windows programs (run by an emulator where one is installed).
// Other names are judged by what the file is: a data file such as "firmware.bin" or
// "notes.sh" without an interpreter line is shown, not run.
constexpr std::array runByName{
    "desktop", "kdelnk", "jar", "exe", "com", "bat", "cmd", "msi", "scr", "pif", "lnk",
};

std::string lowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos)
        return {};
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

bool runnableByName(const std::string& path) {
    const std::string ext = lowerExtension(path);
    return std::any_of(runByName.begin(), runByName.end(), [&](const char* e) { return ext == e; });
}

bool hasExecuteBit(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

// A desktop entry starts with its group header, after blank lines and comments only.
bool isDesktopEntry(std::string_view bytes) {
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front())))
            line.remove_prefix(1);
        if (!line.empty() && line.front() != '#')
            return line.starts_with("[Desktop Entry]");
        if (end == std::string_view::npos)
            break;
        bytes.remove_prefix(end + 1);
    }
    return false;
}

bool runnableByContent(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    const std::string_view bytes(head);
    return bytes.starts_with("\x7f"
                             "ELF") ||
           bytes.starts_with("MZ") || bytes.starts_with("#!") || isDesktopEntry(bytes);
}

} // namespace

namespace previewsafety {

bool removeExecutePermission(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    const mode_t mode = info.st_mode & 07777 & ~static_cast<mode_t>(S_IXUSR | S_IXGRP | S_IXOTH);
    return ::chmod(path.c_str(), mode) == 0;
}

bool mayRunWhenOpened(const std::string& path) {
    return hasExecuteBit(path) || runnableByContent(path) || runnableByName(path);
}

} // namespace previewsafety
