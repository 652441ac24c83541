// One row of the archive list: seven texts in column order and an icon.
#pragma once

#include "app/String.h"

#include <cstdint>

struct EntryRow {
    String name;            // file name without folders
    String type;            // the desktop's type name for the extension; empty when none is known
    String size;            // uncompressed bytes with thousands separators
    String rate;            // "37 %"
    String packed;          // compressed bytes with thousands separators
    String path;            // folder part with a trailing "/", empty at the top level
    String method;          // "Deflate", "Stored", "Method 77"; "LZMA (encrypted)"
    int32_t iconIndex = -1; // index into the icon and type cache
};
