// Where the records of an archive's entries begin, read from the end record and central
// directory that the engine has already fetched (they are in the range cache). With it a
// request for an entry's local header reaches exactly to the entry's end, so the entry's
// data comes in the same response and no byte of the next entry travels with it.
//
// Classic and ZIP64 archives alike, with bytes in front of the archive.
//
// A hint only: the zip engine still checks every record it reads. A damaged or unusual
// directory leaves the boundaries unknown, which costs requests, never correctness.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class EntryBoundaries {
public:
    // Copies cached bytes at an offset; returns how many (0 when not cached).
    using CachedRead = std::function<std::size_t(int64_t pos, char* out, std::size_t n)>;

    // Learns the boundaries when the end record and the whole directory are cached.
    bool learn(const CachedRead& read, int64_t length);
    bool known() const { return !starts_.empty(); }
    void clear() { starts_.clear(); }
    // Where the record that begins at `pos` ends (the next entry's record or the central
    // directory); -1 when no entry's local header begins at `pos`.
    int64_t recordEnd(int64_t pos) const;

private:
    std::vector<int64_t> starts_; // sorted local header offsets, then the directory's start
};
