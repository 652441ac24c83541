// MS-DOS time and date of zip entries.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// The fields of an MS-DOS date and time as they stand (no time zone involved).
struct ZipDateTime {
    int year = 1980;
    int month = 1; // 1 to 12 in a sound entry
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;

    // "YYYY-MM-DDTHH:MM:SS"
    std::string iso() const;
};

ZipDateTime dosToDateTime(uint16_t dosDate, uint16_t dosTime);
// The calendar time of an MS-DOS date and time read as local time, daylight saving decided by
// the system. Throws std::invalid_argument when the date cannot be converted.
std::time_t dosToLocalTime(uint16_t dosDate, uint16_t dosTime);
