// Text from archives and servers as it may safely reach a terminal, and how many terminal
// columns UTF-8 text takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The text with everything that could steer a terminal or hide what a name really is
// written as \xNN per byte: control bytes (C0, DEL and the C1 range U+0080 to U+009F),
// bytes that are not valid UTF-8, and the bidirectional and line-separator marks that
// reorder or break a line.
std::string escapeForTerminal(std::string_view text);
// The same, with a backslash written as "\\" too, so that every escaped text reads back to
// exactly one original: for output that scripts take apart.
std::string escapeUnambiguously(std::string_view text);

// Columns the UTF-8 text takes on a terminal: wide East Asian characters and emoji take
// two, combining marks and zero-width characters none, everything else one. An invalid
// byte counts as one column (escaped text never holds one).
std::size_t displayWidth(std::string_view text);

// "1,234,567": the digits with thousands separators, as the list view shows sizes.
std::string withThousandsSeparators(uint64_t value);
