#include "jobs/PreviewSafety.h"

#include <QMimeDatabase>
#include <QMimeType>
#include <QString>

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <string_view>
#include <sys/stat.h>

namespace {

constexpr std::array runnableExtensions{
    "exe",     "com",  "bat",    "cmd",     "msi",  "scr",     "pif",      "vbs", "vbe",
    "js",      "jse",  "wsf",    "wsh",     "ps1",  "hta",     "cpl",      "lnk", "reg",
    "sh",      "bash", "zsh",    "csh",     "ksh",  "fish",    "py",       "pyw", "pl",
    "rb",      "php",  "lua",    "tcl",     "jar",  "desktop", "appimage", "run", "bin",
    "elf",     "out",  "so",     "command", "tool", "x86_64",  "deb",      "rpm", "flatpakref",
    "flatpak", "snap", "kdelnk", "action",
};

constexpr std::array runnableMimeTypes{
    "application/x-executable",
    "application/x-sharedlib",
    "application/x-pie-executable",
    "application/x-shellscript",
    "application/x-desktop",
    "application/x-msdownload",
    "application/x-ms-dos-executable",
    "application/x-java-archive",
    "application/vnd.appimage",
    "application/x-perl",
    "text/x-python",
    "text/x-python3",
    "application/x-python-code",
    "text/x-perl",
    "application/javascript",
    "application/x-ruby",
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
    return std::any_of(runnableExtensions.begin(), runnableExtensions.end(),
                       [&](const char* e) { return ext == e; });
}

bool runnableByContent(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    const std::string_view bytes(head);
    return bytes.starts_with("\x7f"
                             "ELF") ||
           bytes.starts_with("MZ") || bytes.starts_with("#!") ||
           bytes.find("[Desktop Entry]") != std::string_view::npos;
}

bool runnableByMimeType(const std::string& path) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QString::fromStdString(path));
    return std::any_of(runnableMimeTypes.begin(), runnableMimeTypes.end(),
                       [&](const char* name) { return type.inherits(QString::fromLatin1(name)); });
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
    return runnableByName(path) || runnableByContent(path) || runnableByMimeType(path);
}

} // namespace previewsafety
