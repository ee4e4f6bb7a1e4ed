// pellora-cli update: the update panel's "Start Update" without the window (or, with --file, the
// same update from a file on a disk or a share). The core's messages
// reach standard error through the console UI port; the log lines of the update (with the
// reason of a refusal) and the progress follow them there. Standard output gets one line: what
// was installed.
#include "cli/cli_runner.h"

namespace pellora::cli {

namespace {

// A progress line on a pipe at most this often (in bytes), so a log of a slow line stays short.
constexpr int64_t kProgressStep = 256 * 1024;

}  // namespace

int CliRunner::Update(const Options& options) {
    if (!StartUp(false))
        return kExitError;
    DatabaseUpdate& update = app_.databaseUpdate();
    update.LoadAddress();
    update.onLogLine = [this](const std::string& line) { Fail(line); };

    const AppState& state = app_.state();
    int64_t reported = 0;
    auto previousProgressText = ui_.progressText;
    ui_.progressText = [&state] { return state.update.downloading ? state.update.lblBytesRead : std::string(); };
    auto previousOnChanged = ui_.onChanged;
    ui_.onChanged = [&](View view) {
        if (previousOnChanged)
            previousOnChanged(view);
        if (view == View::Update && state.update.downloading && state.update.bytesRead >= reported + kProgressStep) {
            reported = state.update.bytesRead - state.update.bytesRead % kProgressStep;
            Fail("downloaded " + std::to_string(state.update.bytesRead) + " bytes");
        }
    };
    if (!options.updateFile.empty()) {
        update.UpdateFromFile(options.updateFile);
    } else if (options.updateUrl.empty()) {
        update.cmdUpdateNow_Click();
    } else {
        update.UpdateFrom(options.updateUrl);
    }
    ui_.ClearProgress();
    ui_.progressText = previousProgressText;
    ui_.onChanged = previousOnChanged;
    update.onLogLine = nullptr;

    switch (update.LastOutcome()) {
        case UpdateOutcome::Installed:
            Print("Installed " + std::string(kDatabaseFileName) + ": " +
                  (state.lstDBaseFile.empty() ? std::string() : state.lstDBaseFile.front()));
            return kExitClean;
        case UpdateOutcome::Refused:
            Fail("the download was refused: " + update.LastReason());
            return kExitFound;
        default:
            Fail("the update failed: " + (update.LastReason().empty() ? "busy" : update.LastReason()));
            return kExitError;
    }
}

int CliRunner::UpdateRollback() {
    if (!StartUp(false))
        return kExitError;
    std::string reason;
    app_.databaseUpdate().onLogLine = [this](const std::string& line) { Fail(line); };
    const bool done = app_.databaseUpdate().Rollback(reason);
    app_.databaseUpdate().onLogLine = nullptr;
    if (!done) {
        Fail("cannot roll back: " + reason);
        return kExitError;
    }
    const std::vector<std::string>& table = app_.state().lstDBaseFile;
    Print("Rolled back " + std::string(kDatabaseFileName) + ": " + (table.empty() ? std::string() : table.front()));
    return kExitClean;
}

}  // namespace pellora::cli
