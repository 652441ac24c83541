#include "cli/Listing.h"

#include "app/Rate.h"
#include "app/StringDisplay.h"
#include "zip/ZipArchive.h"
#include "zip/codec/Decoder.h"
#include "zip/crypto/Decryptor.h"

#include <algorithm>
#include <cstdio>

namespace {

std::size_t columns(const std::string& text) {
    return displayWidth(text);
}

// "96 %": percent compressed, as the viewer shows it by default.
std::string rateText(uint64_t packed, uint64_t size) {
    return std::to_string(compressionRate(packed, size, true)) + " %";
}

std::string padRight(const std::string& text, std::size_t width) {
    return text + std::string(width - std::min(width, columns(text)), ' ');
}

std::string padLeft(const std::string& text, std::size_t width) {
    return std::string(width - std::min(width, columns(text)), ' ') + text;
}

ListedEntry describe(const CZipFileHeader& header) {
    ListedEntry e;
    e.fullName = header.name();
    const auto slash = e.fullName.rfind('/');
    e.name = slash == std::string::npos ? e.fullName : e.fullName.substr(slash + 1);
    e.path = slash == std::string::npos ? std::string() : e.fullName.substr(0, slash + 1);
    e.size = header.uncompressedSize;
    e.packed = header.compressedSize;
    e.crc = header.crc32;
    e.method = header.method;
    e.modified = header.modificationTime().iso();
    const zipcrypto::Encryption encryption = zipcrypto::encryptionOf(header);
    e.encrypted = encryption.kind != zipcrypto::Kind::none;
    e.methodText = encryption.kind == zipcrypto::Kind::unsupported
                       ? zipcodec::methodName(header.method)
                       : zipcodec::methodName(encryption.method);
    if (e.encrypted)
        e.methodText += " (" + zipcrypto::encryptionName(encryption) + ")";
    return e;
}

struct Row {
    std::string name, size, rate, packed, method, path;
};

Row rowOf(const ListedEntry& e) {
    return {escapeForTerminal(e.name) + (e.encrypted ? " *" : ""),
            withThousandsSeparators(e.size),
            rateText(e.packed, e.size),
            withThousandsSeparators(e.packed),
            e.methodText,
            escapeForTerminal(e.path)};
}

// Collects text and hands it on in pieces of about 64 KiB.
class Chunks {
public:
    explicit Chunks(const TextSink& sink) : sink_(sink) {}
    ~Chunks() { flush(); }
    Chunks(const Chunks&) = delete;
    Chunks& operator=(const Chunks&) = delete;
    void add(const std::string& text) {
        pending_ += text;
        if (pending_.size() >= 64 * 1024)
            flush();
    }
    void flush() {
        if (!pending_.empty())
            sink_(pending_);
        pending_.clear();
    }

private:
    const TextSink& sink_;
    std::string pending_;
};

} // namespace

void forEachFileEntry(CZipArchive& archive, const std::function<void(const ListedEntry&)>& visit) {
    for (uint32_t i = 0; i < archive.entryCount(); ++i) {
        CZipFileHeader header;
        if (archive.getEntryInfo(header, i) && !header.isDirectory())
            visit(describe(header));
    }
}

// Two passes over the directory, one for the column widths and one for the lines, so that
// a million entries cost no copy of their texts.
void writeTable(CZipArchive& archive, bool withMethod, const TextSink& sink) {
    uint64_t count = 0, totalSize = 0, totalPacked = 0;
    bool anyEncrypted = false;
    std::size_t w[5] = {};
    auto widen = [&w](const Row& r) {
        const std::string* cells[5] = {&r.name, &r.size, &r.rate, &r.packed, &r.method};
        for (int i = 0; i < 5; ++i)
            w[i] = std::max(w[i], columns(*cells[i]));
    };
    forEachFileEntry(archive, [&](const ListedEntry& e) {
        widen(rowOf(e));
        ++count;
        totalSize += e.size;
        totalPacked += e.packed;
        anyEncrypted = anyEncrypted || e.encrypted;
    });
    Row header{"Name", "Size", "Rate", "Packed", "Method", "Path"};
    Row total{std::to_string(count) + (count == 1 ? " file" : " files"),
              withThousandsSeparators(totalSize),
              rateText(totalPacked, totalSize),
              withThousandsSeparators(totalPacked),
              "",
              ""};
    widen(header);
    widen(total);

    auto line = [&](const Row& r) {
        std::string text = padRight(r.name, w[0]) + "  " + padLeft(r.size, w[1]) + "  " +
                           padLeft(r.rate, w[2]) + "  " + padLeft(r.packed, w[3]) + "  ";
        if (withMethod)
            text += padRight(r.method, w[4]) + "  ";
        text += r.path;
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        return text + "\n";
    };
    Row rule{std::string(w[0], '-'), std::string(w[1], '-'), std::string(w[2], '-'),
             std::string(w[3], '-'), std::string(w[4], '-'), "----"};
    Chunks out(sink);
    out.add(line(header) + line(rule));
    forEachFileEntry(archive, [&](const ListedEntry& e) { out.add(line(rowOf(e))); });
    rule.path.clear();
    out.add(line(rule) + line(total));
    if (anyEncrypted)
        out.add("* encrypted: give the password with -P, MARROWGLEN_PASSWORD or on the terminal\n");
}

void writeTsv(CZipArchive& archive, const TextSink& sink) {
    Chunks out(sink);
    char crc[9];
    forEachFileEntry(archive, [&](const ListedEntry& e) {
        std::snprintf(crc, sizeof crc, "%08x", e.crc);
        out.add(escapeUnambiguously(e.fullName) + "\t" + std::to_string(e.size) + "\t" +
                std::to_string(e.packed) + "\t" + crc + "\t" + std::to_string(e.method) + "\t" +
                e.modified + "\n");
    });
}
