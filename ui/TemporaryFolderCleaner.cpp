#include "ui/TemporaryFolderCleaner.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Lets the owner delete inside a folder that was made read-only.
void allowChanges(const fs::path& folder) {
    std::error_code ignored;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ignored);
}

} // namespace

int clearFolderContents(const std::string& folder) {
    std::error_code error;
    const fs::path root(folder);
    if (folder.empty() || !fs::is_directory(root, error))
        return 0;
    std::vector<fs::path> files;
    std::vector<fs::path> folders; // parents before children
    allowChanges(root);
    // The iterator does not descend into linked folders; links are met as entries.
    for (fs::recursive_directory_iterator
             it(root, fs::directory_options::skip_permission_denied, error),
         end;
         !error && it != end; it.increment(error)) {
        const fs::file_status status = it->symlink_status(error);
        if (error)
            break;
        if (fs::is_directory(status)) {
            allowChanges(it->path());
            folders.push_back(it->path());
        } else {
            files.push_back(it->path());
        }
    }
    int failures = 0;
    for (const fs::path& file : files)
        failures += fs::remove(file, error) ? 0 : 1;
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        failures += fs::remove(*it, error) ? 0 : 1;
    return failures;
}
