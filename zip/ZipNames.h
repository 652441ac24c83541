// Entry names: stored bytes to UTF-8, and the check that keeps extraction inside its folder.
#pragma once

#include <string>
#include <string_view>

namespace zipnames {

bool isValidUtf8(std::string_view bytes);
// Decodes MS-DOS code page 437 (bytes below 0x80 stay as they are).
std::string cp437ToUtf8(std::string_view bytes);
// UTF-8 kept when the UTF-8 flag (bit 11) is set or the bytes are valid UTF-8; otherwise
// decoded from code page 437.
std::string toUtf8Name(std::string_view stored, bool utf8Flagged);

// Why a name may not be used below a destination folder, or "" when it may: a ".."
// component, an absolute path, a drive prefix ("C:"), a NUL byte, or nothing left to name.
std::string unsafeNameReason(std::string_view name);
// The last "/"-separated component ("" for "a/").
std::string_view lastComponent(std::string_view name);

} // namespace zipnames
