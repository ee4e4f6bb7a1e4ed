#include "win32/clock_win.h"

#include <windows.h>

#include <cstdio>

#include "win32/encoding_win.h"

namespace pellora::win32 {

LocalTime ClockWin::Now() {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return LocalTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

std::string ClockWin::ShortDate(const LocalTime& time) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(time.year);
    st.wMonth = static_cast<WORD>(time.month);
    st.wDay = static_cast<WORD>(time.day);
    wchar_t buffer[128] = {};
    int length = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, 128);
    if (length > 1)
        return Narrow(std::wstring_view(buffer, static_cast<size_t>(length - 1)));
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* month = time.month >= 1 && time.month <= 12 ? kMonths[time.month - 1] : "???";
    char fallback[32];
    std::snprintf(fallback, sizeof(fallback), "%02d-%s-%04d", time.day, month, time.year);
    return fallback;
}

uint64_t ClockWin::MonotonicMs() {
    return GetTickCount64();
}

std::string ClockWin::ThousandsSeparator() {
    wchar_t separator[8] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8) <= 0)
        return ",";
    return Narrow(separator);
}

}  // namespace pellora::win32
