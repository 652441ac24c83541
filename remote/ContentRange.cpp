#include "remote/ContentRange.h"

#include <limits>

namespace {

// Reads a decimal number at `text`'s front; nothing when there are no digits or it overflows.
std::optional<int64_t> takeNumber(std::string_view& text) {
    std::size_t digits = 0;
    int64_t value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        int digit = text[digits] - '0';
        if (value > (std::numeric_limits<int64_t>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    text.remove_prefix(digits);
    return value;
}

bool takeChar(std::string_view& text, char c) {
    if (text.empty() || text.front() != c)
        return false;
    text.remove_prefix(1);
    return true;
}

void skipBlanks(std::string_view& text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
}

} // namespace

std::optional<ContentRange> parseContentRange(std::string_view text) {
    skipBlanks(text);
    if (text.substr(0, 5) != "bytes")
        return std::nullopt;
    text.remove_prefix(5);
    skipBlanks(text);
    ContentRange range;
    if (!takeChar(text, '*')) {
        auto first = takeNumber(text);
        if (!first || !takeChar(text, '-'))
            return std::nullopt;
        auto last = takeNumber(text);
        if (!last || *last < *first)
            return std::nullopt;
        range.first = *first;
        range.last = *last;
    }
    if (!takeChar(text, '/'))
        return std::nullopt;
    if (!takeChar(text, '*')) {
        auto total = takeNumber(text);
        if (!total || (range.last != ContentRange::Unknown && range.last >= *total))
            return std::nullopt;
        range.total = *total;
    } else if (range.first == ContentRange::Unknown) {
        return std::nullopt; // "*/*" says nothing
    }
    skipBlanks(text);
    if (!text.empty())
        return std::nullopt;
    return range;
}
