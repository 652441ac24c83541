// Building the list's rows: the entry's texts and its icon and type from the cache.
#include "app/Rate.h"
#include "jobs/ZipDoc.h"
#include "platform/DesktopServices.h"
#include "zip/codec/Decoder.h"
#include "zip/crypto/Decryptor.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace {

String withSeparators(uint64_t value) {
    String text(std::to_string(value));
    insertThousandsSeparators(text);
    return text;
}

std::string extensionOf(const std::string& fileName) {
    const size_t dot = fileName.find_last_of('.');
    return dot == std::string::npos ? fileName : fileName.substr(dot + 1);
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The list's names of the methods people meet; the others by the engine's name, capitalised.
std::string methodText(uint16_t method) {
    switch (method) {
    case zipcodec::stored:
        return "Stored";
    case zipcodec::deflate:
        return "Deflate";
    case zipcodec::bzip2:
        return "BZip2";
    case zipcodec::zstd:
    case zipcodec::zstdOld:
        return "Zstd";
    case zipcodec::xz:
        return "XZ";
    default:
        break;
    }
    std::string name = zipcodec::methodName(method); // "Deflate64", "LZMA", "method 77"
    name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    return name;
}

// The method under the encryption where the entry is encrypted, marked as encrypted.
std::string methodColumn(const CZipFileHeader& header) {
    const zipcrypto::Encryption encryption = zipcrypto::encryptionOf(header);
    if (encryption.kind == zipcrypto::Kind::none)
        return methodText(header.method);
    const uint16_t method =
        encryption.kind == zipcrypto::Kind::unsupported ? header.method : encryption.method;
    return methodText(method) + " (encrypted)";
}

} // namespace

bool CZipDoc::describeEntry(EntryRow& row, uint32_t index) {
    CZipFileHeader header;
    try {
        if (!archive_.getEntryInfo(header, index))
            header = CZipFileHeader();
    } catch (...) {
        header = CZipFileHeader();
    }
    const std::string fullName = header.name();
    const size_t slash = fullName.find_last_of('/');
    const std::string fileName = slash == std::string::npos ? fullName : fullName.substr(slash + 1);
    row.name = String(fileName);
    row.path =
        slash == std::string::npos || slash == 0 ? String() : String(fullName.substr(0, slash + 1));
    row.size = withSeparators(header.uncompressedSize);
    row.packed = withSeparators(header.compressedSize);
    const int64_t rate =
        compressionRate(header.compressedSize, header.uncompressedSize, listSettings_.winzipRate);
    row.rate = String(std::to_string(rate) + " %");
    row.method = String(methodColumn(header));
    row.iconIndex = -1;
    row.type = String();

    const std::string ext = lowered(extensionOf(fileName));
    if (ext == "exe" || ext == "com") {
        row.iconIndex = 0; // the program's own icon; the type is asked every time
    } else if (const std::optional<int32_t> slot = iconCache_.find(ext)) {
        row.iconIndex = *slot;
        row.type = String(iconCache_.slot(*slot).typeName);
        if (!row.type.isEmpty())
            return true;
    }
    // Asked by a name with the extension alone, so that every name of one extension gets the
    // type its cache slot holds. A name without a dot is its own "extension": the desktop
    // knows such names whole (Makefile, README), so it is asked with the name itself.
    FileTypeInfo info;
    if (fileTypes_ != nullptr) {
        if (fileName.find('.') == std::string::npos)
            info = fileTypes_->lookup(fileName);
        if (info.typeName.empty())
            info = fileTypes_->lookup("tmpfile." + ext);
    }
    row.type = String(info.typeName);
    if (row.iconIndex == -1)
        row.iconIndex = iconCache_.append({ext, info.typeName, info.iconKey});
    return true;
}
