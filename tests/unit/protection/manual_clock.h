// A clock the tests move by hand: the wall clock and the monotonic count are set independently.
#pragma once

#include "core/ports/clock.h"

namespace pellora::fakes {

class ManualClock : public ClockPort {
  public:
    LocalTime Now() override { return wall; }
    std::string ShortDate(const LocalTime& t) override {
        return std::to_string(t.day) + "/" + std::to_string(t.month) + "/" + std::to_string(t.year);
    }
    uint64_t MonotonicMs() override { return ms; }

    LocalTime wall{2026, 12, 7, 9, 30, 0};
    uint64_t ms = 7'000'000;
};

}  // namespace pellora::fakes
