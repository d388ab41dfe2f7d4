#include "engine/Tvxtime.h"

namespace tvx::engine {

CTvxtime::CTvxtime(std::int32_t second, std::int32_t minute, std::int32_t hour, std::int32_t day, std::int32_t month,
                   std::int32_t year, std::int32_t bias) noexcept
    : m_second(second), m_minute(minute), m_hour(hour), m_day(day), m_month(month), m_year(year), m_bias(bias) {}

CTvxtime::CTvxtime(const SYSTEMTIME& local) noexcept
    : m_second(local.wSecond),
      m_minute(local.wMinute),
      m_hour(local.wHour),
      m_day(local.wDay),
      m_month(local.wMonth),
      m_year(local.wYear),
      m_bias(0) {}

CTvxtime CTvxtime::Now() noexcept {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    CTvxtime now(local);

    TIME_ZONE_INFORMATION zone{};
    switch (::GetTimeZoneInformation(&zone)) {
    case TIME_ZONE_ID_DAYLIGHT:
        now.m_bias = zone.Bias + zone.DaylightBias;
        break;
    case TIME_ZONE_ID_STANDARD:
        now.m_bias = zone.Bias + zone.StandardBias;
        break;
    case TIME_ZONE_ID_UNKNOWN:  // a zone without daylight time
        now.m_bias = zone.Bias;
        break;
    default:  // TIME_ZONE_ID_INVALID: no zone known, the local time is UTC
        now.m_bias = 0;
        break;
    }
    return now;
}

CTvxtime CTvxtime::FromFileTime(std::uint64_t fileTime) noexcept {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(fileTime);
    ft.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    SYSTEMTIME st{};
    if (!::FileTimeToSystemTime(&ft, &st)) return CTvxtime();
    return CTvxtime(st);
}

std::uint64_t CTvxtime::ToFileTime() const noexcept {
    // SYSTEMTIME's fields are 16-bit: anything outside their range is no date.
    const auto fits = [](std::int32_t v) { return v >= 0 && v <= 0xFFFF; };
    if (!fits(m_second) || !fits(m_minute) || !fits(m_hour) || !fits(m_day) || !fits(m_month) || !fits(m_year)) {
        return 0;
    }
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(m_year);
    st.wMonth = static_cast<WORD>(m_month);
    st.wDay = static_cast<WORD>(m_day);
    st.wHour = static_cast<WORD>(m_hour);
    st.wMinute = static_cast<WORD>(m_minute);
    st.wSecond = static_cast<WORD>(m_second);
    st.wMilliseconds = 0;
    FILETIME ft{};
    if (!::SystemTimeToFileTime(&st, &ft)) return 0;
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

bool CTvxtime::operator==(const CTvxtime& other) const noexcept {
    return m_second == other.m_second && m_minute == other.m_minute && m_hour == other.m_hour &&
           m_day == other.m_day && m_month == other.m_month && m_year == other.m_year && m_bias == other.m_bias;
}

}  // namespace tvx::engine
