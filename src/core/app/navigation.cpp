#include "core/app/navigation.h"

#include "core/ports/file_system.h"

namespace pellora {

const char* PanelTitle(Panel panel) {
    switch (panel) {
        case Panel::Status: return "Pellora - Status";
        case Panel::Settings: return "Pellora - Settings";
        case Panel::ScanPrep: return "Pellora - System Scan Selection";
        case Panel::ScanProc: return "Pellora - System Scan";
        case Panel::ScanResult: return "Pellora - System Scan Results";
        case Panel::Iremovable: return "Pellora - Iremovable Objects";
        case Panel::Ignored: return "Pellora - Ignore List";
        // The package list and one package's contents share their title.
        case Panel::Quarantined:
        case Panel::QItems: return "Pellora - Quarantined Objects";
        case Panel::Update: return "Pellora - DBase Update";
    }
    return "";
}

void Navigation::Show(Panel panel) {
    state_.panel = panel;
    ports_.ui.Changed(View::Panel);
}

void Navigation::lblCmdStatus_Click() {
    if (state_.busy) return;
    ShowStatus();
    status_.StatusInfoDisplay();
}

void Navigation::lblCmdScan_Click() {
    if (state_.busy) return;
    ShowScanPrep();
}

void Navigation::lblCmdSettings_Click() {
    if (state_.busy) return;
    ShowSettings();
}

void Navigation::lblCmdHelp_Click() {
    const std::string path = HelpPath();
    // A folder that happens to carry the page's name is no help page.
    std::optional<uint32_t> attributes = ports_.files.GetAttributes(path);
    if (attributes && !(*attributes & file_attr::kDirectory)) {
        ports_.shell.OpenDocument(path, state_.appFolder);
        return;
    }
    ports_.ui.Message(kHelpMissingText, kAppTitle, MsgButtons::Ok, MsgIcon::Error);
}

void Navigation::lblCmdOpenIgnoreList_Click() {
    if (hooks.loadIgnoredToList) hooks.loadIgnoredToList();
    ShowIgnored();
}

void Navigation::lblCmdOpenQuarList_Click() {
    if (hooks.loadToQuarantineList) hooks.loadToQuarantineList();
    ShowQuarantined();
}

void Navigation::cmdBack_Click() {
    ShowQuarantined();
    state_.lstQuarantinedItems.clear();
    ports_.ui.Changed(View::QuarantineItems);
}

void Navigation::cmdFinish_Click() {
    ShowStatus();
    state_.lstIremovable.clear();
    ports_.ui.Changed(View::Irremovable);
}

}  // namespace pellora
