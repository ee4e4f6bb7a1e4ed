#include "core/scan/process_listing.h"

namespace pellora {

void ListActiveProcesses(AppState& state, ProcessPort& processes) {
    state.lstProcesses.clear();
    for (const ProcessEntry& entry : processes.Snapshot())
        state.lstProcesses.push_back(ProcessRow{entry.exeName, entry.pid, entry.imagePath, entry.creationTime});
}

}  // namespace pellora
