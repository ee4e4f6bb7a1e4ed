// The scan report (AddListedToLog): at the end of every scan, also an aborted one, the result
// tables are written into lstLog under their headers and the scan stamp is taken, which names
// the quarantine package of this scan. Also the date-and-time text of the scan's log lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/state/app_state.h"
#include "core/ports/clock.h"
#include "core/ports/ui.h"

namespace pellora {

// The system's short date, two blanks and the time as HH:MM:SS (24-hour clock).
std::string LogDateTime(ClockPort& clock, const LocalTime& time);
// day-month-year-hour-minute-second, each in plain decimal without leading zeros.
std::string ScanStamp(const LocalTime& time);
// The time a scan stamp (a package's name) was taken; nothing for a name that is not a stamp.
std::optional<LocalTime> ParseScanStamp(std::string_view stamp);
// "     " type ":" object "   |" category, and "   |" comment URL for an irremovable row; a
// "Content" row adds "   |Rule: <names>".
std::string ReportLine(const ResultRow& row, bool withCommentUrl);
// What the result list's comment column shows: the comment, or for a "Content" row the rules
// that matched it ("Rule: <names>").
std::string RowComment(const ResultRow& row);

// Appends the report of lstScanResult and lstIremovable to lstLog and sets the scan stamp.
void AddListedToLog(AppState& state, ClockPort& clock, UiPort& ui);

}  // namespace pellora
