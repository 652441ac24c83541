// The end record and central directory reader fed any bytes as an archive: open, list every
// entry, ask where it would be extracted, test it, look names up, close.
#include "FuzzSupport.h"

#include "app/String.h"

#include <string>

using fuzzsupport::tolerateDamage;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mgtest::MemorySource source(std::vector<unsigned char>(data, data + size));
    CZipArchive archive(source);
    bool opened = false;
    tolerateDamage([&] {
        archive.open(String("http://127.0.0.1/fuzz.zip"));
        opened = !archive.isClosed();
    });
    if (!opened)
        return 0;
    fuzzsupport::Budget budget;
    const uint32_t count = archive.entryCount();
    for (uint32_t i = 0; i < count && !budget.exhausted(); ++i) {
        CZipFileHeader header;
        if (!archive.getEntryInfo(header, i))
            __builtin_trap(); // every index below the count must be readable
        const std::string name = header.name();
        (void)archive.isDirectory(i);
        tolerateDamage([&] { (void)archive.destinationPath(i, "/nonexistent/dest", true); });
        tolerateDamage([&] { (void)archive.destinationPath(i, "/nonexistent/dest", false); });
        tolerateDamage([&] { (void)archive.testEntry(i, budget.callback()); });
        budget.settle();
        if (i < 4) {
            (void)archive.findEntry(name, true);
            (void)archive.findEntry(name, false);
        }
    }
    archive.close();
    return 0;
}
