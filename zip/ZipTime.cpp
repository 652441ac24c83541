#include "zip/ZipTime.h"

#include <cstdio>
#include <stdexcept>

std::string ZipDateTime::iso() const {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour,
                  minute, second);
    return text;
}

ZipDateTime dosToDateTime(uint16_t dosDate, uint16_t dosTime) {
    ZipDateTime t;
    t.second = 2 * (dosTime & 0x1F);
    t.minute = (dosTime >> 5) & 0x3F;
    t.hour = dosTime >> 11;
    t.day = dosDate & 0x1F;
    t.month = (dosDate >> 5) & 0x0F;
    t.year = 1980 + (dosDate >> 9);
    return t;
}

std::time_t dosToLocalTime(uint16_t dosDate, uint16_t dosTime) {
    const ZipDateTime t = dosToDateTime(dosDate, dosTime);
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.hour > 23 || t.minute > 59 || t.second > 59)
        throw std::invalid_argument("invalid MS-DOS date or time");
    std::tm parts{};
    parts.tm_year = t.year - 1900;
    parts.tm_mon = t.month - 1;
    parts.tm_mday = t.day;
    parts.tm_hour = t.hour;
    parts.tm_min = t.minute;
    parts.tm_sec = t.second;
    parts.tm_isdst = -1;
    const std::time_t result = std::mktime(&parts);
    if (result == static_cast<std::time_t>(-1))
        throw std::invalid_argument("MS-DOS date cannot be converted");
    return result;
}
