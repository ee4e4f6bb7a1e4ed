// Opens the option dialogs from the commands of the settings and scan selection panels.
#pragma once

#include "gui/win.h"

#include <functional>

#include "core/app/app.h"
#include "gui/commands.h"

namespace pellora::gui {

// Fills the five dialog commands of `commands`: each opens its dialog modally over `owner`, at
// the DPI `dpi` gives (the owner's current one).
void WireDialogs(App& app, GuiCommands& commands, HWND owner, std::function<int()> dpi);

}  // namespace pellora::gui
