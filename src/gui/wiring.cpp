#include "gui/wiring.h"

#include "gui/main_window.h"

namespace pellora::gui {

void WireCommands(App& app, GuiCommands& commands) {
    Quarantine& quarantine = app.quarantine();
    commands.cmdQuarantineSelected_Click = [&quarantine] { quarantine.cmdQuarantineSelected(); };
    commands.cmdViewData_Click = [&quarantine] { quarantine.cmdViewData(); };
    commands.cmdRestoreQuarantined_Click = [&quarantine] { quarantine.cmdRestoreQuarantined(); };
    commands.cmdDeleteQuarantined_Click = [&quarantine] { quarantine.cmdDeleteQuarantined(); };
}

bool StartUp(App& app, MainWindow& window, bool otherInstance) {
    window.AddToSystemTray(otherInstance);
    app.navigation().ShowStatus();
    app.statusPanel().StatusInfoDisplay();
    window.FlushChanges();
    return true;
}

}  // namespace pellora::gui
