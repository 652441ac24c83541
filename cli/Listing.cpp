#include "cli/Listing.h"

#include "app/Rate.h"
#include "zip/ZipArchive.h"

#include <algorithm>
#include <cstdio>

namespace {

// Display width of UTF-8 text: one column per code point.
std::size_t columns(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string padRight(const std::string& text, std::size_t width) {
    return text + std::string(width - std::min(width, columns(text)), ' ');
}

std::string padLeft(const std::string& text, std::size_t width) {
    return std::string(width - std::min(width, columns(text)), ' ') + text;
}

ListedEntry describe(const CZipFileHeader& header) {
    ListedEntry e;
    e.fullName = printable(header.name());
    const auto slash = e.fullName.rfind('/');
    e.name = slash == std::string::npos ? e.fullName : e.fullName.substr(slash + 1);
    e.path = slash == std::string::npos ? std::string() : e.fullName.substr(0, slash + 1);
    e.size = header.uncompressedSize;
    e.packed = header.compressedSize;
    e.crc = header.crc32;
    e.method = header.method;
    e.modified = header.modificationTime().iso();
    return e;
}

struct Row {
    std::string name, size, rate, packed, path;
};

} // namespace

std::string printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string withThousandsSeparators(uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

std::string rateText(uint64_t packed, uint64_t size) {
    return std::to_string(compressionRate(packed, size, true)) + " %";
}

std::vector<ListedEntry> collectFileEntries(CZipArchive& archive) {
    std::vector<ListedEntry> entries;
    for (uint32_t i = 0; i < archive.entryCount(); ++i) {
        CZipFileHeader header;
        if (archive.getEntryInfo(header, i) && !header.isDirectory())
            entries.push_back(describe(header));
    }
    return entries;
}

std::string formatTable(const std::vector<ListedEntry>& entries) {
    std::vector<Row> rows;
    uint64_t totalSize = 0, totalPacked = 0;
    for (const auto& e : entries) {
        rows.push_back({e.name, withThousandsSeparators(e.size), rateText(e.packed, e.size),
                        withThousandsSeparators(e.packed), e.path});
        totalSize += e.size;
        totalPacked += e.packed;
    }
    Row header{"Name", "Size", "Rate", "Packed", "Path"};
    Row total{std::to_string(entries.size()) + (entries.size() == 1 ? " file" : " files"),
              withThousandsSeparators(totalSize), rateText(totalPacked, totalSize),
              withThousandsSeparators(totalPacked), ""};
    std::size_t w[4] = {columns(header.name), columns(header.size), columns(header.rate),
                        columns(header.packed)};
    for (const Row* r : {&header, &total})
        w[0] = std::max(w[0], columns(r->name)), w[1] = std::max(w[1], columns(r->size)),
        w[2] = std::max(w[2], columns(r->rate)), w[3] = std::max(w[3], columns(r->packed));
    for (const auto& r : rows)
        w[0] = std::max(w[0], columns(r.name)), w[1] = std::max(w[1], columns(r.size)),
        w[2] = std::max(w[2], columns(r.rate)), w[3] = std::max(w[3], columns(r.packed));

    auto line = [&](const Row& r) {
        std::string text = padRight(r.name, w[0]) + "  " + padLeft(r.size, w[1]) + "  " +
                           padLeft(r.rate, w[2]) + "  " + padLeft(r.packed, w[3]) + "  " + r.path;
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        return text + "\n";
    };
    Row rule{std::string(w[0], '-'), std::string(w[1], '-'), std::string(w[2], '-'),
             std::string(w[3], '-'), "----"};
    std::string out = line(header) + line(rule);
    for (const auto& r : rows)
        out += line(r);
    rule.path.clear();
    return out + line(rule) + line(total);
}

std::string formatTsv(const std::vector<ListedEntry>& entries) {
    std::string out;
    char crc[9];
    for (const auto& e : entries) {
        std::snprintf(crc, sizeof crc, "%08x", e.crc);
        out += e.fullName + "\t" + std::to_string(e.size) + "\t" + std::to_string(e.packed) + "\t" +
               crc + "\t" + std::to_string(e.method) + "\t" + e.modified + "\n";
    }
    return out;
}
