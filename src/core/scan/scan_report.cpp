#include "core/scan/scan_report.h"

#include <cstdio>

namespace pellora {

std::string LogDateTime(ClockPort& clock, const LocalTime& time) {
    char clockText[16];
    std::snprintf(clockText, sizeof clockText, "%02d:%02d:%02d", time.hour, time.minute, time.second);
    return clock.ShortDate(time) + "  " + clockText;
}

std::string ScanStamp(const LocalTime& time) {
    return std::to_string(time.day) + "-" + std::to_string(time.month) + "-" + std::to_string(time.year) + "-" +
           std::to_string(time.hour) + "-" + std::to_string(time.minute) + "-" + std::to_string(time.second);
}

std::optional<LocalTime> ParseScanStamp(std::string_view stamp) {
    int fields[6] = {};
    size_t field = 0;
    size_t digits = 0;
    for (char c : stamp) {
        if (c == '-') {
            if (digits == 0 || ++field == 6)
                return std::nullopt;
            digits = 0;
        } else if (c >= '0' && c <= '9' && digits < 4 && !(digits == 1 && fields[field] == 0)) {
            fields[field] = fields[field] * 10 + (c - '0');
            ++digits;
        } else {
            return std::nullopt;  // not a digit, a leading zero or a number too long
        }
    }
    LocalTime time{fields[2], fields[1], fields[0], fields[3], fields[4], fields[5]};
    if (field != 5 || digits == 0 || time.year < 1000 || time.month < 1 || time.month > 12 || time.day < 1 ||
        time.day > 31 || time.hour > 23 || time.minute > 59 || time.second > 59)
        return std::nullopt;
    return time;
}

std::string ReportLine(const ResultRow& row, bool withCommentUrl) {
    std::string line = "     " + row.type + ":" + row.object + "   |" + row.category;
    if (withCommentUrl)
        line += "   |" + row.comment;
    else if (!row.contentRules.empty())
        line += "   |" + RowComment(row);
    return line;
}

std::string RowComment(const ResultRow& row) {
    if (row.comment.empty() && !row.contentRules.empty())
        return "Rule: " + row.contentRules;
    return row.comment;
}

namespace {

// One table under its header, rows by index: events inside the yields may change the table.
void ReportTable(AppState& state,
                 const std::vector<ResultRow>& rows,
                 const char* header,
                 bool irremovable,
                 UiPort& ui) {
    if (rows.empty())
        return;
    state.lstLog.push_back(" Scan uncovered following " + std::to_string(rows.size()) + header);
    for (size_t i = 0; i < rows.size(); ++i) {
        state.lstLog.push_back(ReportLine(rows[i], irremovable));
        ui.Yield();
    }
    state.lstLog.emplace_back();
}

}  // namespace

void AddListedToLog(AppState& state, ClockPort& clock, UiPort& ui) {
    state.lstLog.emplace_back();
    ReportTable(state, state.lstScanResult, " items:", false, ui);
    ReportTable(state, state.lstIremovable, " Iremovable items:", true, ui);
    state.scanStamp = ScanStamp(clock.Now());
    ui.Changed(View::Log);
}

}  // namespace pellora
