// The String field operations the address parsing rests on, checked against a plain model of
// their documented rules. Input: one byte for the field number, one for a position, then
// text, separator and new text separated by NUL bytes.
#include "app/String.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

// Positions of the non-overlapping occurrences of `sub`, scanning from the left.
std::vector<size_t> occurrences(const std::string& text, const std::string& sub) {
    std::vector<size_t> found;
    if (sub.empty())
        return found;
    for (size_t at = text.find(sub); at != std::string::npos; at = text.find(sub, at + sub.size()))
        found.push_back(at);
    return found;
}

std::string modelField(const std::string& text, const std::string& sep, int32_t n) {
    const std::vector<size_t> hits = occurrences(text, sep);
    if (text.empty())
        return {};
    if (hits.empty())
        return n <= 1 ? text : std::string();
    n = std::max(n, 1);
    if (size_t(n - 1) > hits.size())
        return {};
    const size_t start = n == 1 ? 0 : hits[n - 2] + sep.size();
    const size_t end = size_t(n - 1) < hits.size() ? hits[n - 1] : text.size();
    return text.substr(start, end - start);
}

// Returns false (text unchanged) where replaceField refuses.
bool modelReplaceField(std::string& text, const std::string& newText, const std::string& sep,
                       int32_t n) {
    const std::vector<size_t> hits = occurrences(text, sep);
    const auto fields = static_cast<int32_t>(hits.size()) + 1;
    if (n < 0 || n > fields + 1)
        return false;
    if (n == 0) {
        text = newText + sep + text;
    } else if (n == 1) {
        text = fields == 1 ? newText : newText + text.substr(hits[0]);
    } else if (n <= fields) {
        const size_t before = hits[n - 2];
        const std::string after = n < fields ? text.substr(hits[n - 1]) : std::string();
        text = text.substr(0, before) + sep + newText + after;
    } else {
        text = text + sep + newText;
    }
    return true;
}

std::vector<std::string> splitAtNul(const uint8_t* data, size_t size) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && parts.size() < 3)
            parts.emplace_back();
        else if (data[i] != 0)
            parts.back() += static_cast<char>(data[i]);
    }
    parts.resize(3);
    return parts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const int32_t n = static_cast<int8_t>(data[0]);
    const int32_t pos = static_cast<int8_t>(data[1]);
    const std::vector<std::string> parts = splitAtNul(data + 2, size - 2);
    const std::string& text = parts[0];
    const std::string& sep = parts[1];
    const std::string& newText = parts[2];

    const String s(text);
    const std::vector<size_t> hits = occurrences(text, sep);
    check(s.count(sep.c_str()) == static_cast<int32_t>(hits.size()));
    check(s.fieldCount(sep.c_str()) == static_cast<int32_t>(hits.size()) + 1);
    check(s.findLast(sep.c_str()) == (hits.empty() ? -1 : static_cast<int32_t>(hits.back())));
    check(s.find(sep.c_str()) == (hits.empty() ? -1 : static_cast<int32_t>(hits.front())));
    check(s.field(sep.c_str(), n).str() == modelField(text, sep, n));

    String replaced(text);
    std::string expected = text;
    const bool changed = modelReplaceField(expected, newText, sep, n);
    check(replaced.replaceField(newText.c_str(), sep.c_str(), n) == changed);
    check(replaced.str() == expected);

    String inserted(text);
    const bool insertable = pos >= 0 && pos < static_cast<int32_t>(text.size());
    check(inserted.insertAfter(pos, newText.c_str()) == insertable);
    check(inserted.str() ==
          (insertable ? text.substr(0, pos + 1) + newText + text.substr(pos + 1) : text));

    String cut(text);
    check(cut.cutAtLast(sep.c_str()) == !hits.empty());
    check(cut.str() == (hits.empty() ? text : text.substr(0, hits.back())));
    return 0;
}
