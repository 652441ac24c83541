#include "app/StringDisplay.h"

#include "app/String.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

struct Range {
    char32_t first, last;
};

// Wide (two-column) characters: East Asian Wide and Fullwidth blocks and the emoji planes.
constexpr Range wideRanges[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
    {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// Combining marks and zero-width characters: drawn on the previous column or not at all.
constexpr Range zeroWidthRanges[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A},
    {0x064B, 0x065F}, {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E},
    {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F}, {0x20D0, 0x20FF},
    {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF},
};

template <std::size_t N> bool inRanges(char32_t c, const Range (&ranges)[N]) {
    return std::any_of(std::begin(ranges), std::end(ranges),
                       [c](const Range& r) { return c >= r.first && c <= r.last; });
}

// Marks that reorder the rest of the line or end it without a control byte.
bool isLayoutMark(char32_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x2028 ||
           c == 0x2029 || c == 0x200E || c == 0x200F || c == 0x061C;
}

// Decodes one UTF-8 sequence at text[pos]; returns its length, 0 when it is not valid
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t decode(std::string_view text, std::size_t pos, char32_t& c) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = lead < 0x80   ? 1
                         : lead < 0xC2 ? 0
                         : lead < 0xE0 ? 2
                         : lead < 0xF0 ? 3
                         : lead < 0xF5 ? 4
                                       : 0;
    if (length == 0 || pos + length > text.size())
        return 0;
    c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (next & 0x3F);
    }
    constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return length;
}

void appendEscaped(std::string& out, std::string_view bytes) {
    for (unsigned char b : bytes) {
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
        out += escaped;
    }
}

// Printable ASCII, the usual name, needs no decoding.
bool plainAscii(std::string_view text, bool backslashToo) {
    return std::all_of(text.begin(), text.end(), [backslashToo](char ch) {
        const auto b = static_cast<unsigned char>(ch);
        return b >= 0x20 && b < 0x7F && !(backslashToo && b == '\\');
    });
}

std::string escape(std::string_view text, bool backslashToo) {
    if (plainAscii(text, backslashToo))
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t c = 0;
        const std::size_t length = decode(text, pos, c);
        const std::string_view piece = text.substr(pos, std::max<std::size_t>(length, 1));
        if (length == 0 || c < 0x20 || (c >= 0x7F && c <= 0x9F) || isLayoutMark(c))
            appendEscaped(out, piece);
        else if (c == '\\' && backslashToo)
            out += "\\\\";
        else
            out += piece;
        pos += piece.size();
    }
    return out;
}

} // namespace

std::string escapeForTerminal(std::string_view text) {
    return escape(text, false);
}

std::string escapeUnambiguously(std::string_view text) {
    return escape(text, true);
}

std::size_t displayWidth(std::string_view text) {
    if (plainAscii(text, false))
        return text.size();
    std::size_t width = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t c = 0;
        const std::size_t length = decode(text, pos, c);
        if (length == 0) {
            ++width;
            ++pos;
            continue;
        }
        pos += length;
        if (inRanges(c, zeroWidthRanges))
            continue;
        width += inRanges(c, wideRanges) ? 2 : 1;
    }
    return width;
}

std::string withThousandsSeparators(uint64_t value) {
    String digits(std::to_string(value));
    insertThousandsSeparators(digits);
    return digits.str();
}
