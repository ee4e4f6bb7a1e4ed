// ClockWin: the clock port on kernel32: local time, the user's short date format and the tick
// count since start.
#pragma once

#include "core/ports/clock.h"

namespace pellora::win32 {

class ClockWin : public ClockPort {
  public:
    LocalTime Now() override;
    // The user's short date format; where the system has none, day, month name and year
    // ("06-Dec-2026"), which cannot be misread.
    std::string ShortDate(const LocalTime& time) override;
    uint64_t MonotonicMs() override;
    std::string ThousandsSeparator() override;
};

}  // namespace pellora::win32
