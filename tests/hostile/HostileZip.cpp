#include "HostileZip.h"

#include <stdexcept>
#include <zlib.h>

namespace hostile {
namespace {

void put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

constexpr uint16_t dosTime = (13 << 11) | (45 << 5) | 15;
constexpr uint16_t dosDate = ((2021 - 1980) << 9) | (6 << 5) | 15;

} // namespace

std::string deflateRaw(const std::string& data) {
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END)
        throw std::runtime_error("deflate");
    return out;
}

uint32_t crcOf(const std::string& data) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

uint64_t declaredTotal(const std::vector<Entry>& entries) {
    uint64_t total = 0;
    for (const Entry& e : entries)
        total += e.size.value_or(static_cast<uint32_t>(e.data.size()));
    return total;
}

std::string build(const std::vector<Entry>& entries, const Layout& layout) {
    std::string body;
    std::string central;
    for (const Entry& e : entries) {
        const std::string packed = e.packed.value_or(e.deflate ? deflateRaw(e.data) : e.data);
        const uint16_t method = e.deflate ? 8 : 0;
        const uint32_t crc = e.crc.value_or(crcOf(e.data));
        const uint32_t size = e.size.value_or(static_cast<uint32_t>(e.data.size()));
        const auto offset = static_cast<uint32_t>(body.size());
        auto fixedFields = [&](std::string& out) {
            put16(out, 20); // version needed
            put16(out, e.flags);
            put16(out, method);
            put16(out, dosTime);
            put16(out, dosDate);
            put32(out, crc);
            put32(out, static_cast<uint32_t>(packed.size()));
            put32(out, size);
            put16(out, static_cast<uint32_t>(e.name.size()));
            put16(out, 0); // extra
        };
        if (e.writeLocal) {
            put32(body, 0x04034B50);
            fixedFields(body);
            body += e.name + packed;
        }
        put32(central, 0x02014B50);
        put16(central, e.unixMode ? 0x031E : 0x0014);
        fixedFields(central);
        put16(central, 0); // comment
        put16(central, 0); // disk
        put16(central, 0); // internal attributes
        put32(central, e.unixMode << 16);
        put32(central, e.offset.value_or(offset));
        central += e.name;
    }
    const uint16_t count = layout.count.value_or(static_cast<uint16_t>(entries.size()));
    std::string end;
    put32(end, 0x06054B50);
    put16(end, 0);
    put16(end, 0);
    put16(end, count);
    put16(end, count);
    put32(end, layout.directorySize.value_or(static_cast<uint32_t>(central.size())));
    put32(end, static_cast<uint32_t>(int64_t(body.size()) + layout.directoryOffsetShift));
    put16(end, 0);
    return body + central + end;
}

} // namespace hostile
