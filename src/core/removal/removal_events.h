// The removal's events: every object the removal run deletes or leaves is logged as
// "<kind> deleted=<object>" or "<kind> not removed=<object> (<reason>)"; each such line becomes
// an event of the event log, so the log file and the event log cannot tell different stories.
#pragma once

#include <string>

#include "core/ports/event_log.h"

namespace pellora {

void ReportRemovalLine(EventLogPort* log, const std::string& line);

}  // namespace pellora
