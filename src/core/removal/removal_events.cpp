#include "core/removal/removal_events.h"

#include <string_view>

namespace pellora {

void ReportRemovalLine(EventLogPort* log, const std::string& line) {
    if (!log)
        return;
    // The kind never holds "=", the object may.
    const size_t equals = line.find('=');
    if (equals == std::string::npos)
        return;
    const std::string_view head(line.data(), equals);
    const std::string object = line.substr(equals + 1);
    constexpr std::string_view kDeleted = " deleted";
    constexpr std::string_view kNotRemoved = " not removed";
    // Scheduled for deletion at the next start: still there now, so not removed yet.
    const size_t restart = head.find(" removed at restart");
    if (restart != std::string_view::npos) {
        log->Report(event_id::kObjectNotRemoved, EventLevel::Warning,
                    {std::string(head.substr(0, restart)), object + " (" + std::string(head.substr(restart + 1)) + ")"});
        return;
    }
    if (head.ends_with(kDeleted)) {
        log->Report(event_id::kObjectRemoved, EventLevel::Information,
                    {std::string(head.substr(0, head.size() - kDeleted.size())), object});
    } else if (head.ends_with(kNotRemoved)) {
        log->Report(event_id::kObjectNotRemoved, EventLevel::Warning,
                    {std::string(head.substr(0, head.size() - kNotRemoved.size())), object});
    }
}

}  // namespace pellora
