// File-system helpers shared by several layers. Local paths use the native "/" separator;
// "\" is an ordinary file-name character here.
#include "app/String.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Longer paths than the system accepts are not attempted.
constexpr size_t MaxPathBytes = PATH_MAX - 1;

bool pathExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

void createFolder(const std::string& path) {
    if (path.empty() || path.size() > MaxPathBytes || pathExists(path)) {
        return;
    }
    ::mkdir(path.c_str(), 0777); // the umask decides who else may read
}

struct FolderEntry {
    std::string name;
    bool isFolder;
};

// The entries of one folder, "." and ".." skipped, in name order so that walks are repeatable.
// A symbolic link is never walked into (it could lead out of the tree or round in a loop).
std::vector<FolderEntry> readFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        return entries;
    }
    while (const dirent* item = ::readdir(dir)) {
        const std::string name(item->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        struct stat info {};
        const std::string full = folder + "/" + name;
        const bool isFolder = ::lstat(full.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        entries.push_back({name, isFolder});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}

std::string folderPrefix(const String& folder) {
    std::string prefix = folder.str();
    if (prefix.empty() || prefix.back() != '/') {
        prefix += '/';
    }
    return prefix;
}

String lowerCaseExtension(const char* name) {
    const String fileName(name);
    String extension = fileName.field(".", fileName.fieldCount("."));
    extension.toLower();
    return extension;
}

bool isExcluded(const String& extension, const std::vector<String>& excluded) {
    return std::any_of(excluded.begin(), excluded.end(), [&](const String& item) {
        String lowered(item);
        lowered.toLower();
        return extension.equals(lowered);
    });
}

} // namespace

void createFolderPath(const char* base, const char* path) {
    const std::string baseText = base ? base : "";
    if (base) {
        createFolder(baseText);
    }
    const std::string pathText = path ? path : "";
    if (pathText.empty() || pathText.size() > MaxPathBytes) {
        return;
    }
    // Outer folders first: a separator after the first byte means there is a parent to make.
    const size_t lastSeparator = pathText.rfind('/');
    if (lastSeparator != std::string::npos && lastSeparator > 0) {
        createFolderPath(nullptr, (baseText + pathText.substr(0, lastSeparator)).c_str());
    }
    createFolder(baseText + pathText);
}

bool folderExists(const String& path, bool enterTest) {
    if (!enterTest) {
        return pathExists(path.str());
    }
    // "Can be entered" is asked of the folder itself: changing the working directory to try
    // would disturb every other thread of the process.
    struct stat info {};
    return !path.isEmpty() && ::stat(path.text(), &info) == 0 && S_ISDIR(info.st_mode) &&
           ::access(path.text(), X_OK) == 0;
}

bool deleteFileForced(const String& path) {
    struct stat info {};
    if (::lstat(path.text(), &info) != 0) {
        return false;
    }
    if (S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0) {
        // The counterpart of clearing a read-only attribute: make it writable first.
        ::chmod(path.text(), (info.st_mode & 07777) | S_IWUSR);
    }
    return ::unlink(path.text()) == 0;
}

void insertThousandsSeparators(String& number) {
    // A leading sign is not a digit: "-123" must not become "-,123".
    const int32_t firstDigit = (number.text()[0] == '-' || number.text()[0] == '+') ? 1 : 0;
    for (int32_t pos = number.length() - 4; pos >= firstDigit; pos -= 3) {
        if (!number.insertAfter(pos, ",")) {
            break;
        }
    }
}

void collectFiles(const String& folder, std::vector<String>& results,
                  const std::vector<String>& excluded) {
    const std::string prefix = folderPrefix(folder);
    for (const FolderEntry& entry : readFolder(folder.str())) {
        const String fullPath(prefix + entry.name);
        if (entry.isFolder) {
            collectFiles(fullPath, results, excluded);
        } else if (!isExcluded(lowerCaseExtension(entry.name.c_str()), excluded)) {
            results.push_back(fullPath);
        }
    }
}

void collectSubfolders(const String& folder, std::vector<String>& results) {
    const std::string prefix = folderPrefix(folder);
    for (const FolderEntry& entry : readFolder(folder.str())) {
        if (entry.isFolder) {
            const String fullPath(prefix + entry.name);
            collectSubfolders(fullPath, results);
            results.push_back(fullPath);
        }
    }
}

bool writeAllBytes(int fd, const void* data, std::size_t n) {
    const auto* bytes = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t written = ::write(fd, bytes, n);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        n -= static_cast<std::size_t>(written);
    }
    return true;
}
