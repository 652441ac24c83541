// The Content-Range header of a ranged response: "bytes 100-130/5000", "bytes */5000" (416),
// "bytes 0-0/*" (length unknown to the server).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

struct ContentRange {
    static constexpr int64_t Unknown = -1;
    int64_t first = Unknown; // Unknown in the "*/total" form
    int64_t last = Unknown;
    int64_t total = Unknown; // Unknown for "/*"
};

// Nothing for text that is not a well-formed byte range (first > last included).
std::optional<ContentRange> parseContentRange(std::string_view text);
