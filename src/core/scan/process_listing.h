// The running processes, for the scan's process check and the removal's process lookup.
#pragma once

#include "core/state/app_state.h"
#include "core/ports/processes.h"

namespace pellora {

// Rebuilds lstProcesses from a fresh snapshot: one row per process, in snapshot order.
void ListActiveProcesses(AppState& state, ProcessPort& processes);

}  // namespace pellora
