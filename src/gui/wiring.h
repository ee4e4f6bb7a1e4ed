// Connects the window to the core: fills GuiCommands from the objects of App and runs the
// start-up steps that need the window (tray icon, panels). Controls whose subsystem is not part
// of App stay without a hook and do nothing.
#pragma once

#include "core/app/app.h"
#include "gui/commands.h"

namespace pellora::gui {

class MainWindow;

void WireCommands(App& app, GuiCommands& commands);

// Brings the program up with the window created but not yet shown. False when start-up ended
// the program (the user declined to go on without a database).
bool StartUp(App& app, MainWindow& window, bool otherInstance);

}  // namespace pellora::gui
