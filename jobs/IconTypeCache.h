// The icon and type cache behind the list's rows: one slot per extension, holding the type
// name and the key of its icon. Invariant: slot i describes one extension in every array, so
// the view's image lists, filled from `iconKey` in slot order, stay aligned with it. Slot 0 is
// the program's own icon, used for "exe" and "com" entries only.
//
// The list job appends while the user interface reads (to draw icons), so access is locked.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class IconTypeCache {
public:
    struct Slot {
        std::string extension; // lower case
        std::string typeName;
        std::string iconKey; // the desktop's icon for the type (a MIME type name)
    };

    // The key of slot 0, the program's own icon.
    static constexpr const char* programIconKey = "marrowglen";

    IconTypeCache();

    // Slot of `extension` (exact, lower case), searched from slot 1; nullopt when not cached.
    std::optional<int32_t> find(const std::string& extension) const;
    // Appends a slot and returns its index.
    int32_t append(Slot slot);
    int32_t size() const;
    Slot slot(int32_t index) const;
    // Back to the single program slot.
    void reset();

private:
    mutable std::mutex mutex_;
    std::vector<Slot> slots_;
};
