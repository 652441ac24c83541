// One entry's local header and data, as any bytes: the input (after two bytes that choose the
// reader's buffer size) is the local record at offset 0, and a central directory that agrees
// with its fixed fields is added behind it. Then the entry is read by hand in buffers of the
// chosen size, closed, and tested once more as a whole.
#include "FuzzSupport.h"

#include "app/String.h"

#include <algorithm>
#include <cstring>

using fuzzsupport::tolerateDamage;

namespace {

uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

void put16(std::vector<unsigned char>& out, uint32_t v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}

void put32(std::vector<unsigned char>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// The local record as given (padded to its fixed size), then one central header copying the
// local header's fields, then the end record.
std::vector<unsigned char> archiveAround(const uint8_t* local, size_t size) {
    std::vector<unsigned char> bytes(local, local + size);
    if (bytes.size() < 30)
        bytes.resize(30, 0);
    const std::vector<unsigned char> fixed(bytes.begin(), bytes.begin() + 30);
    const uint16_t nameLength = le16(&fixed[26]);
    const auto directoryOffset = static_cast<uint32_t>(bytes.size());
    std::vector<unsigned char> central;
    put32(central, 0x02014B50);
    put16(central, 0x031E);                                               // made on Unix
    central.insert(central.end(), fixed.begin() + 4, fixed.begin() + 28); // version ... name length
    put16(central, 0);                                                    // extra length
    put16(central, 0);                                                    // comment length
    put16(central, 0);                                                    // disk
    put16(central, 0);                                                    // internal attributes
    put32(central, 0100644u << 16);                                       // external attributes
    put32(central, 0);                                                    // local header offset
    for (uint16_t i = 0; i < nameLength; ++i)
        central.push_back(30u + i < size ? local[30 + i] : 'n');
    bytes.insert(bytes.end(), central.begin(), central.end());
    put32(bytes, 0x06054B50);
    put16(bytes, 0);
    put16(bytes, 0);
    put16(bytes, 1);
    put16(bytes, 1);
    put32(bytes, static_cast<uint32_t>(central.size()));
    put32(bytes, directoryOffset);
    put16(bytes, 0);
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const uint32_t bufferSize = std::max<uint32_t>(1, le16(data));
    mgtest::MemorySource source(archiveAround(data + 2, size - 2));
    CZipArchive archive(source);
    // Encrypted entries go through their decryptors too (any password passes one time in 256
    // for ZipCrypto, and then the decoder sees the decrypted bytes).
    archive.setPassword("fuzz");
    tolerateDamage([&] { archive.open(String("http://127.0.0.1/entry.zip")); });
    if (archive.isClosed() || archive.entryCount() != 1)
        return 0;
    std::vector<unsigned char> buffer(bufferSize);
    tolerateDamage([&] {
        if (!archive.openEntry(0))
            return;
        uint64_t produced = 0;
        uint32_t n = 0;
        do {
            n = archive.readEntryData(buffer.data(), bufferSize);
            if (n > bufferSize)
                __builtin_trap();
            produced += n;
        } while (n != 0 && produced < fuzzsupport::outputBudget);
        archive.closeEntry({}, produced >= fuzzsupport::outputBudget);
    });
    archive.abandonEntry();
    fuzzsupport::Budget budget;
    tolerateDamage([&] { (void)archive.testEntry(0, budget.callback(), nullptr, bufferSize); });
    archive.close();
    return 0;
}
