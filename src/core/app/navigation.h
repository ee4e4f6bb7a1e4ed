// Navigation of the main window: which panel and title are shown, and the commands of the
// navigation bar and of the panels that only move between panels. A panel switch is a change
// of state.panel followed by Changed(View::Panel); the front end shows exactly that panel and its
// title. Commands that need other subsystems (loading the ignore list or the quarantine list)
// call hooks the composer wires, so this class depends on nothing but the state and the ports.
#pragma once

#include <functional>
#include <string>

#include "core/state/app_state.h"
#include "core/app/status_panel.h"
#include "core/ports/ports.h"

namespace pellora {

// The title label shown above a panel ("Pellora - Status", ...).
const char* PanelTitle(Panel panel);

inline constexpr const char* kHelpMissingText = "Help file help.htm could not be found.";

class Navigation {
public:
    struct Hooks {
        std::function<void()> loadIgnoredToList;     // rebuilds lstIgnoreList
        std::function<void()> loadToQuarantineList;  // rebuilds lstQuarantinedList
    };

    Navigation(AppState& state, Ports& ports, StatusPanel& status) : state_(state), ports_(ports), status_(status) {}

    Hooks hooks;

    // The ten panel switches.
    void ShowStatus() { Show(Panel::Status); }
    void ShowSettings() { Show(Panel::Settings); }
    void ShowScanPrep() { Show(Panel::ScanPrep); }
    void ShowScanProc() { Show(Panel::ScanProc); }
    void ShowScanResult() { Show(Panel::ScanResult); }
    void ShowIremovable() { Show(Panel::Iremovable); }
    void ShowIgnored() { Show(Panel::Ignored); }
    void ShowQuarantined() { Show(Panel::Quarantined); }
    void ShowQItems() { Show(Panel::QItems); }
    void ShowUpdate() { Show(Panel::Update); }
    void Show(Panel panel);

    // Navigation bar. Status, Scan and Settings do nothing at all while the busy flag is set.
    void lblCmdStatus_Click();
    void lblCmdScan_Click();
    void lblCmdSettings_Click();
    void lblCmdHelp_Click();
    // Status panel commands.
    void lblCmdDBaseUpdate_Click() { ShowUpdate(); }
    void lblCmdOpenIgnoreList_Click();
    void lblCmdOpenQuarList_Click();
    // Package contents "Back" and irremovable "Finish".
    void cmdBack_Click();
    void cmdFinish_Click();

    // Help\help.htm below the application folder.
    std::string HelpPath() const { return state_.appFolder + "\\Help\\help.htm"; }

private:
    AppState& state_;
    Ports& ports_;
    StatusPanel& status_;
};

}  // namespace pellora
