// Clock port: local time, the system's short date format and a monotonic millisecond count.
#pragma once

#include <cstdint>
#include <string>

namespace pellora {

struct LocalTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class ClockPort {
public:
    virtual ~ClockPort() = default;

    virtual LocalTime Now() = 0;
    // The date in the system's short date format.
    virtual std::string ShortDate(const LocalTime& time) = 0;
    virtual uint64_t MonotonicMs() = 0;
    // The user's thousands separator (what "#,###" groups digits with).
    virtual std::string ThousandsSeparator() { return ","; }
};

}  // namespace pellora
