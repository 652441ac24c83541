// Test content shared by the http tests: bytes that differ at every position, so that a
// byte served from the wrong offset is caught.
#pragma once

#include <cstdint>
#include <string>

inline std::string patternBytes(std::size_t size, uint32_t seed = 1) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<char>(state >> 24);
    }
    return bytes;
}

// Compares byte strings without printing them whole: size, then the first difference.
inline std::string firstDifference(const std::string& actual, const std::string& expected) {
    if (actual == expected)
        return {};
    std::size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
        ++i;
    return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
           ", first difference at " + std::to_string(i);
}
#define EXPECT_BYTES(actual, expected) EXPECT_EQ(firstDifference((actual), (expected)), "")

// Reads until the reader returns 0.
template <typename Reader> std::string readAll(Reader& reader, std::size_t chunk = 7000) {
    std::string out;
    std::string buffer(chunk, '\0');
    while (std::size_t got = reader.read(buffer.data(), buffer.size()))
        out.append(buffer, 0, got);
    return out;
}
