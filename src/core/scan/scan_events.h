// The event a finished scan leaves in the event log: its mode, the objects of the database it
// compared and the finds.
#pragma once

#include "core/ports/event_log.h"
#include "core/state/app_state.h"

namespace pellora {

void ReportScanFinished(EventLogPort* log, const AppState& state);

}  // namespace pellora
