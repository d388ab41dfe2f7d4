// CTvxtime: the program's local date-time value, as the scheduler keeps its
// last run. It holds the wall-clock fields of one moment and, when it was
// taken from the clock, the time-zone bias that applied then.
//
// File times made from it carry the fields as they are: ToFileTime encodes
// the local date and time without converting them to UTC, and FromFileTime
// decodes them again (with a bias of 0), so a value survives the round trip
// through the settings unchanged. Seconds are whole: milliseconds are
// dropped on the way in and 0 on the way out.
#pragma once

#include <windows.h>

#include <cstdint>

namespace tvx::engine {

class CTvxtime {
public:
    // All fields 0: no date (ToFileTime gives 0).
    CTvxtime() noexcept = default;
    // The fields in their stored order, then the bias in minutes.
    CTvxtime(std::int32_t second, std::int32_t minute, std::int32_t hour, std::int32_t day, std::int32_t month,
             std::int32_t year, std::int32_t bias) noexcept;
    // The date and time fields of a platform record; bias 0.
    explicit CTvxtime(const SYSTEMTIME& local) noexcept;
    virtual ~CTvxtime() = default;

    CTvxtime(const CTvxtime&) = default;
    CTvxtime& operator=(const CTvxtime&) = default;

    // The platform's local time now, with the bias of the time zone at this
    // moment (the zone's bias plus its daylight or standard bias, whichever
    // is in force).
    static CTvxtime Now() noexcept;

    // The fields of a file time (bias 0). A value the platform cannot
    // convert gives all fields 0.
    static CTvxtime FromFileTime(std::uint64_t fileTime) noexcept;

    // The fields as a file time, milliseconds 0; 0 when they are not a date
    // the platform accepts.
    std::uint64_t ToFileTime() const noexcept;

    std::int32_t Second() const noexcept { return m_second; }
    std::int32_t Minute() const noexcept { return m_minute; }
    std::int32_t Hour() const noexcept { return m_hour; }
    std::int32_t Day() const noexcept { return m_day; }
    std::int32_t Month() const noexcept { return m_month; }
    std::int32_t Year() const noexcept { return m_year; }
    // Minutes to add to the local time to get UTC.
    std::int32_t Bias() const noexcept { return m_bias; }

    bool operator==(const CTvxtime& other) const noexcept;

private:
    std::int32_t m_second = 0;  // 0..59
    std::int32_t m_minute = 0;  // 0..59
    std::int32_t m_hour = 0;    // 0..23
    std::int32_t m_day = 0;     // 1..31
    std::int32_t m_month = 0;   // 1..12
    std::int32_t m_year = 0;    // four digits
    std::int32_t m_bias = 0;
};

}  // namespace tvx::engine
